#pragma once

#include <QString>

// The outcome of an operation on a local file: success, or the file and why it failed.
// The core never shows a window; callers turn a failure into the owner's message.
class Status final {
public:
    static Status success() { return Status(); }
    static Status failure(const QString& file, const QString& reason) { return Status(file, reason); }

    bool isOk() const { return m_reason.isEmpty(); }
    explicit operator bool() const { return isOk(); }

    const QString& file() const { return m_file; }
    const QString& reason() const { return m_reason; }

    // "<file>: <reason>", or the reason alone when no file is concerned.
    QString message() const { return m_file.isEmpty() ? m_reason : m_file + QStringLiteral(": ") + m_reason; }

private:
    Status() = default;
    Status(const QString& file, const QString& reason) : m_file(file), m_reason(reason) {}

    QString m_file;
    QString m_reason;
};
