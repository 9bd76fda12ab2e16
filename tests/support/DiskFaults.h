#pragma once

#include "support/TestSupport.h"

#include <QtTest>

#include <csignal>
#include <functional>
#include <sys/resource.h>

// Files harmed as a full disk or a broken copy harms them.
namespace TestSupport {

// Runs `work` as on a disk that is full once a file reaches `bytes`: writes past that fail.
inline void withFileSizeLimit(rlim_t bytes, const std::function<void()>& work) {
    rlimit old{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
    rlimit limited = old;
    limited.rlim_cur = bytes;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN); // the write fails instead of the process
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &limited) == 0);
    work();
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &old) == 0);
    std::signal(SIGXFSZ, previous);
}

// Keeps the first two lines of a file, as a copy cut short.
inline void cutToTwoLines(const QString& path) {
    const QByteArray whole = readBytes(path);
    writeBytes(path, whole.left(whole.indexOf("\r\n", whole.indexOf("\r\n") + 2) + 2));
}

} // namespace TestSupport
