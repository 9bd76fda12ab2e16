#include "cli/Cli.h"

#include <QCoreApplication>
#include <QTextStream>

#include <curl/curl.h>

#include <cstdio>

int main(int argc, char* argv[]) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const int status = runCli(arguments, QCoreApplication::applicationDirPath(), out, err);
    out.flush();
    err.flush();
    curl_global_cleanup();
    return status;
}
