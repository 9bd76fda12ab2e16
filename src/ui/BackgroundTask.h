#pragma once

#include <QObject>

// Work that runs off the user-interface thread (an order collection, an upload). The main
// window stops it and waits for it before the program saves and ends.
class BackgroundTask : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isRunning() const = 0;
    // Asks the work to stop and returns once it has.
    virtual void stopAndWait() = 0;

signals:
    void finished();
};

// The hourly order collection, as the main window starts it.
class OrderCollectionTask : public BackgroundTask {
    Q_OBJECT
public:
    using BackgroundTask::BackgroundTask;

    // Starts a collection; finished() follows once it is over, whatever it found.
    virtual void start() = 0;
};
