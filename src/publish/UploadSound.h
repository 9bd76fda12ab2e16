#pragma once

#include <QObject>
#include <QString>

// The end-of-upload sound. Plays a sound file once and says when it has finished; where there is
// no sound device it finishes at once, and where the file is missing the system beep stands in.
class UploadSound final : public QObject {
    Q_OBJECT
public:
    explicit UploadSound(QObject* parent = nullptr);

    void play(const QString& soundFile);

    // How long a WAV file plays, from its header (3 s for a file that cannot be read as one, 10 s
    // at most): a sound that never reports its end holds the upload no longer than this.
    static int playingTimeMs(const QString& path);

signals:
    void finished();
};
