#pragma once

#include <QLabel>

// A picture box that stretches its picture to fill it, as the owner's photos are shown in the
// editor and the chooser. A file that cannot be read as a picture leaves it empty, silently.
class PictureBox final : public QLabel {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    // Shows the picture in the file; false (and an empty box) when there is none to show.
    bool showPicture(const QString& path);
    void clearPicture();
    bool hasPicture() const;
    // The file shown, or empty.
    const QString& picturePath() const { return m_path; }

private:
    QString m_path;
};
