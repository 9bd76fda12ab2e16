#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QProcess;
class frmMain;
struct SharedState;

// Small helpers shared by the tests: fixtures, raw bytes, ports, processes and the program.
namespace TestSupport {

QString fixturePath(const QString& name);
QByteArray readBytes(const QString& path);
void writeBytes(const QString& path, const QByteArray& bytes);
// Copies tests/data/<name> to <dir>/<as> (or the same name).
void copyFixture(const QString& name, const QString& dir, const QString& as = QString());
// The built program folder's store files and closing sound into `dir`, as a new owner gets them.
void copyShippedFiles(const QString& dir);
// The data folder form of a directory: its path followed by the separator.
QString dataFolderOf(const QString& dir);

// A TCP port on 127.0.0.1 that was free a moment ago, for a test server to listen on.
quint16 freePort();
// Waits until 127.0.0.1:port accepts a connection and sends a first line starting with
// `greeting` (if one is given); false once `timeoutMs` passed or `server` (if given) ended.
bool waitForGreeting(quint16 port, const QByteArray& greeting, QProcess* server = nullptr, int timeoutMs = 10000);
// Starts a test server by `launch` on a free port and waits for its greeting; the port may be
// taken by another test before the server binds it, so up to three are tried. The port, or 0.
quint16 startOnFreePort(QProcess& server, const QByteArray& greeting, const std::function<void(quint16)>& launch);
// Waits until the file holds `text`, as a server's log does once it has written a line.
bool waitForText(const QString& path, const QByteArray& text, int timeoutMs = 10000);
// Ends a test server at once, with every session it forked.
void stopServer(QProcess& server);
// Gives `why` to a caller that asked for it (`error` not null); false.
bool failWith(QString* error, const QString& why);
// Runs a tool to its end with `input`; false when it did not end well. Its output in `output`.
bool runTool(const QString& program,
             const QStringList& arguments,
             const QByteArray& input = {},
             QByteArray* output = nullptr);

// Runs `work` with the permissions of an ordinary user, so that a read-only folder is read-only
// even when the tests run as root. Returns false where that cannot be arranged.
bool runUnprivileged(const std::function<void()>& work);

// The whole program started as the owner starts it, on `folder` as its data folder, with the
// connection check answering `connected`. `prepare` runs just before the start-up (to set an
// order collection's options, say). The main window is made active, as a window manager would.
std::unique_ptr<frmMain> startProgram(SharedState& state,
                                      const QString& folder,
                                      bool connected = false,
                                      const std::function<void(frmMain&)>& prepare = {});

// How a run of kioskSmith-cli ended: its exit status (-1 when it crashed or hung) and output.
struct CliRun {
    int status = -1;
    QString out;
    QString err;
};
// kioskSmith-cli as a script runs it, in `environment` (the test's own when empty).
CliRun runCli(const QStringList& arguments, const QProcessEnvironment& environment = {});

} // namespace TestSupport
