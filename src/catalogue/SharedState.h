#pragma once

#include "catalogue/OrderRecord.h"
#include "catalogue/SettingsFiles.h"
#include "catalogue/StoreCatalogue.h"

#include <QString>
#include <QStringList>

class Keyring;

// Everything the windows share for the whole run. Owned by main and handed to each window;
// there is no other global state.
struct SharedState {
    // The program's own folder followed by the platform's separator; local file names follow it.
    QString dataFolder;
    bool diagnosticsOn = false;

    StoreCatalogue catalogue;
    // False until the catalogue files have been read: an empty catalogue is never saved over them.
    bool catalogueLoaded = false;
    // Files that were there at start-up but could not be read (native paths): what they hold was
    // never loaded, so they are not written over at exit unless the owner asks once they can be read.
    QStringList unreadableFiles;

    StoreSettings storeSettings;
    FtpSettings ftpSettings;
    // The desktop's keyring for the FTP password, owned by main; none means the password stays
    // scrambled in ftpsettings.txt.
    Keyring* keyring = nullptr;
    OrderBook orders;

    // Where the last centreForm placed a window, in twips.
    int formLeft = 0;
    int formTop = 0;
};
