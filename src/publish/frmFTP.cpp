#include "publish/frmFTP.h"

frmFTP::frmFTP(SharedState& state, Shell& shell, QWidget* parent)
    : TaskWindow(state,
                 shell,
                 QStringLiteral("frmFTP"),
                 QStringLiteral("Upload - get ready for opening the doors"),
                 QSize(9840, 7440),
                 parent) {}
