#pragma once

#include <QWidget>

// The About panel: shown for three seconds from its creation, then gone.
class frmSplash final : public QWidget {
    Q_OBJECT
public:
    explicit frmSplash(QWidget* parent = nullptr);

    static constexpr int lifetimeMs = 3000;

signals:
    void expired();
};
