#pragma once

#include "catalogue/Status.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The secret the program and the shop share for collecting the orders, kept in orderkey.txt in
// the program folder. Line 1 is the secret (64 hex digits, 256 random bits); each further line
// names a domain on which the collection has reached the shop over HTTPS, so it never falls back
// to plain HTTP there. The upload gives the secret to the shop as store/orderkey.php, a PHP file
// that returns it, which no web server running the pages shows as text.
struct OrderKey {
    QByteArray secret;
    QStringList httpsDomains;

    bool isSet() const { return !secret.isEmpty(); }
    bool httpsWorked(const QString& domain) const;

    // The file in the program folder.
    static QString path(const QString& dataFolder);
    // The key as stored; an empty key when there is no file yet. A damaged file is a failure.
    static Status load(const QString& dataFolder, OrderKey& key);
    // The stored key, or a new one written first (the upload's way).
    static Status loadOrCreate(const QString& dataFolder, OrderKey& key);
    Status save(const QString& dataFolder) const;

    // What the shop's store/orderkey.php holds.
    QByteArray phpFile() const;
    // The local copy of that file that the upload sends (relative to the program folder).
    static QString phpFileName() { return QStringLiteral("store/orderkey.php"); }
};
