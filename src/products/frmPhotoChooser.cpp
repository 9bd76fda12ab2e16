#include "products/frmPhotoChooser.h"

#include "shell/Twips.h"

frmPhotoChooser::frmPhotoChooser(SharedState& state, QWidget* parent) : QDialog(parent), m_state(state) {
    setObjectName(QStringLiteral("frmPhotoChooser"));
    setWindowTitle(QStringLiteral("Photo Chooser"));
    setModal(true);
    setFixedSize(Twips::toPixels(this, 8400), Twips::toPixels(this, 5040));
}
