#include "publish/UploadSound.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>
#include <QtEndian>

#ifdef KIOSK_HAVE_MULTIMEDIA
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#endif

int UploadSound::playingTimeMs(const QString& path) {
    constexpr int fallbackMs = 3000;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fallbackMs;
    const QByteArray head = file.read(4096);
    if (head.size() < 44 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE")
        return fallbackMs;
    const auto u32 = [&head](qsizetype at) {
        return qFromLittleEndian<quint32>(head.constData() + at);
    };
    quint32 byteRate = 0;
    for (qsizetype at = 12; at + 8 <= head.size();) {
        const QByteArray id = head.mid(at, 4);
        const quint32 size = u32(at + 4);
        if (id == "fmt " && at + 20 <= head.size())
            byteRate = u32(at + 16);
        if (id == "data" && byteRate > 0)
            return int(qMin<quint64>(quint64(size) * 1000 / byteRate, 10000));
        at += 8 + qsizetype(size) + (size & 1);
    }
    return fallbackMs;
}

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
        guard->start(playingTimeMs(soundFile) + 250);
        return;
    }
#endif
    QTimer::singleShot(0, this, &UploadSound::finished); // no sound device: nothing to wait for
}
