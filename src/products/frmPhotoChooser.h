#pragma once

#include <QDialog>

struct SharedState;

// The picture chooser: a modal dialog that browses the disks for a product picture.
class frmPhotoChooser final : public QDialog {
    Q_OBJECT
public:
    explicit frmPhotoChooser(SharedState& state, QWidget* parent = nullptr);

private:
    SharedState& m_state;
};
