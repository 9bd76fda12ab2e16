#pragma once

#include <QMainWindow>

struct SharedState;

// The main window: holds every other window of the program.
class frmMain final : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(SharedState& state, QWidget* parent = nullptr);

    // The start-up sequence: settings, then the catalogue.
    void startUp();

    // Ends the program as the owner's close does: the catalogue is written once. Returns false
    // when the owner chose to keep the program open after a failed write.
    bool endProgram();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    SharedState& m_state;
    bool m_ended = false;
};
