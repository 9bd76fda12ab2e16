#pragma once

#include "catalogue/OrderRecord.h"
#include "catalogue/SettingsFiles.h"
#include "catalogue/StoreCatalogue.h"

#include <QString>

// Everything the windows share for the whole run. Owned by main and handed to each window;
// there is no other global state.
struct SharedState {
    // The program's own folder followed by the platform's separator; local file names follow it.
    QString dataFolder;
    bool diagnosticsOn = false;

    StoreCatalogue catalogue;
    // False until the catalogue files have been read: an empty catalogue is never saved over them.
    bool catalogueLoaded = false;

    StoreSettings storeSettings;
    FtpSettings ftpSettings;
    OrderBook orders;

    // Where the last centreForm placed a window, in twips.
    int formLeft = 0;
    int formTop = 0;
};
