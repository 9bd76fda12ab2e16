#include "products/PictureBox.h"

#include <QFileInfo>
#include <QImageReader>
#include <QPixmap>

PictureBox::PictureBox(QWidget* parent) : QLabel(parent) {
    setScaledContents(true);
    setFrameShape(QFrame::Box);
    setAlignment(Qt::AlignCenter);
}

bool PictureBox::showPicture(const QString& path) {
    clearPicture();
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return false;
    QImageReader reader(path);
    reader.setAutoTransform(true); // turned as the camera held it, as browsers show it
    // A camera's photo is decoded straight to the box's size rather than at full size.
    const QSize box = contentsRect().size() * devicePixelRatioF();
    if (reader.supportsOption(QImageIOHandler::ScaledSize) && box.isValid() && !box.isEmpty()) {
        const QSize full = reader.size();
        if (full.isValid() && full.width() > box.width() && full.height() > box.height())
            reader.setScaledSize(box);
    }
    const QImage image = reader.read();
    if (image.isNull())
        return false;
    setPixmap(QPixmap::fromImage(image));
    m_path = path;
    return true;
}

void PictureBox::clearPicture() {
    clear();
    m_path.clear();
}

bool PictureBox::hasPicture() const {
    return !pixmap().isNull();
}
