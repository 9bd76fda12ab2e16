#pragma once

#include <QWidget>

class QListWidget;

// The hidden trace window: one line a traced step, kept for the whole run.
class frmDiagnostics final : public QWidget {
    Q_OBJECT
public:
    explicit frmDiagnostics(QWidget* parent = nullptr);

    void append(const QString& line);
    // Selects the newest line, which scrolls it into view.
    void selectLast();
    QListWidget* lstDisplay() const { return m_lstDisplay; }

private:
    QListWidget* m_lstDisplay;
};
