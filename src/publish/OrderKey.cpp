#include "publish/OrderKey.h"

#include "catalogue/LineFile.h"
#include "catalogue/LowerHex.h"

#include <QFile>
#include <QRandomGenerator>

namespace {

constexpr qsizetype kSecretBytes = 32;

bool isHexSecret(const QByteArray& text) {
    return isLowerHex(text, 2 * kSecretBytes);
}

} // namespace

bool OrderKey::httpsWorked(const QString& domain) const {
    return httpsDomains.contains(domain.toLower());
}

QString OrderKey::path(const QString& dataFolder) {
    return LineFile::dataPath(dataFolder, QStringLiteral("orderkey.txt"));
}

Status OrderKey::load(const QString& dataFolder, OrderKey& key) {
    key = OrderKey();
    const QString file = path(dataFolder);
    if (!QFile::exists(file))
        return Status::success();
    const std::optional<QStringList> lines = LineFile::read(file);
    if (!lines || lines->isEmpty() || !isHexSecret(lines->first().trimmed().toLatin1()))
        return Status::failure(file, QStringLiteral("the order key is damaged. Restore orderkey.txt from your "
                                                    "backup, or delete it and refresh the whole store to make "
                                                    "a new one."));
    key.secret = lines->first().trimmed().toLatin1();
    for (qsizetype i = 1; i < lines->size(); ++i) {
        const QString domain = lines->at(i).trimmed().toLower();
        if (!domain.isEmpty() && !key.httpsDomains.contains(domain))
            key.httpsDomains.append(domain);
    }
    return Status::success();
}

Status OrderKey::loadOrCreate(const QString& dataFolder, OrderKey& key) {
    const Status loaded = load(dataFolder, key);
    if (!loaded || key.isSet())
        return loaded;
    QByteArray bytes(kSecretBytes, Qt::Uninitialized);
    QRandomGenerator::system()->generate(bytes.begin(), bytes.end());
    key.secret = bytes.toHex();
    return key.save(dataFolder);
}

Status OrderKey::save(const QString& dataFolder) const {
    return LineFile::write(path(dataFolder), QStringList{QString::fromLatin1(secret)} + httpsDomains);
}

QByteArray OrderKey::phpFile() const {
    return "<?php\n// Written by kioskSmith's upload: the secret collectOrders.php asks of the program.\nreturn '" +
           secret + "';\n";
}
