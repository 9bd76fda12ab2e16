#include "publish/UploadSound.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

#ifdef KIOSK_HAVE_MULTIMEDIA
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#endif

namespace {
// The chime is short; a sound that never reports its end cannot hold the upload longer than this.
constexpr int kLongestSoundMs = 4000;
} // namespace

UploadSound::UploadSound(QObject* parent) : QObject(parent) {}

void UploadSound::play(const QString& soundFile) {
    if (!QFileInfo(soundFile).isFile()) {
        QApplication::beep();
        QTimer::singleShot(0, this, &UploadSound::finished);
        return;
    }
#ifdef KIOSK_HAVE_MULTIMEDIA
    if (!QMediaDevices::audioOutputs().isEmpty()) {
        auto* effect = new QSoundEffect(this);
        auto* guard = new QTimer(effect);
        guard->setSingleShot(true);
        const auto done = [this, effect] {
            if (effect->property("done").toBool())
                return;
            effect->setProperty("done", true);
            effect->deleteLater();
            emit finished();
        };
        connect(guard, &QTimer::timeout, effect, done);
        connect(effect, &QSoundEffect::playingChanged, effect, [effect, done] {
            if (!effect->isPlaying() && effect->status() != QSoundEffect::Loading)
                done();
        });
        connect(effect, &QSoundEffect::statusChanged, effect, [effect, done] {
            if (effect->status() == QSoundEffect::Error)
                done();
            else if (effect->status() == QSoundEffect::Ready)
                effect->play();
        });
        effect->setSource(QUrl::fromLocalFile(QFileInfo(soundFile).absoluteFilePath()));
        guard->start(kLongestSoundMs);
        return;
    }
#endif
    QTimer::singleShot(0, this, &UploadSound::finished); // no sound device: nothing to wait for
}
