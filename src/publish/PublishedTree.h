#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What the shop looks like on the server and where its files come from on the owner's disk.
namespace PublishedTree {

// The fixed files a full refresh sends, in sending order, as paths below the data folder.
const QStringList& webFiles();      // into the shop's root
const QStringList& graphicsFiles(); // into gfx
const QStringList& storeFiles();    // into store: storesettings.txt, no_image_available.jpg

QString settingsFile();       // "store/storesettings.txt", the one fixed file a data upload sends
QString productDetailsFile(); // "store/productdetails.nif"
QString departmentListFile(); // "store/departments.nif", sent right after the settings
QString soundFile();          // "RHYTHM.wav", played when an upload has succeeded

// The shop's root: "/" + the destination folder as typed + "/kioskSmith", sent unchanged.
QByteArray rootPath(const QString& destinationFolder);

// The name as it can be shown on one line: control characters as "?".
QString printableName(const QString& name);

} // namespace PublishedTree
