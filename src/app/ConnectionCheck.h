#pragma once

#include <QString>

// Whether the computer is connected to the Internet, asked at start-up.
class ConnectionCheck {
public:
    virtual ~ConnectionCheck() = default;
    virtual bool isConnected() const = 0;
};

// Whether a shop domain names this machine (localhost, a 127.x address or ::1), with or without
// a port: a shop served from a local web space is reachable without the Internet.
bool namesThisMachine(const QString& domain);

// A network interface other than loopback that is up and running.
class InterfaceConnectionCheck final : public ConnectionCheck {
public:
    bool isConnected() const override;
};

// A fixed answer, for tests.
class FixedConnectionCheck final : public ConnectionCheck {
public:
    explicit FixedConnectionCheck(bool connected) : m_connected(connected) {}
    bool isConnected() const override { return m_connected; }

private:
    bool m_connected;
};
