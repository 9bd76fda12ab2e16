#pragma once

#include <QStringList>

class QTextStream;

// kioskSmith-cli: publish, collect orders or check the shop from a script. Progress and list
// lines go to `out`, one a line, and nothing else does; warnings and errors go to `err`.
// Returns the exit status: 0 only on success.
int runCli(const QStringList& arguments, const QString& programFolder, QTextStream& out, QTextStream& err);
