#pragma once

#include <QWidget>

class QPushButton;

// The narrow command window down the left edge: one button per task, and Exit.
class frmMenuLeft final : public QWidget {
    Q_OBJECT
public:
    explicit frmMenuLeft(QWidget* parent = nullptr);

    // The button of an index (0, 1, 2, 3 or 5), or nothing for index 4 and anything else.
    QPushButton* command(int index) const;

signals:
    void commandClicked(int index);
};
