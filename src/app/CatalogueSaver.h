#pragma once

#include <functional>

class QWidget;
struct SharedState;

// Reads the owner's files at start-up and writes the departments, then the products, at the end
// of the program. Reading never writes over a file; a file that cannot be written is never lost
// silently: the owner is told, and chooses.
namespace CatalogueSaver {

// True once the program should end without asking anything more (asked from outside to end).
using Ending = std::function<bool()>;

// True when the program may end: both files were written, there was nothing loaded to write,
// or the owner (or a request from outside to end, after one attempt) chose to end without
// saving. False when the owner chose to stay, with everything still in memory.
bool saveAtExit(QWidget* parent, SharedState& state, const Ending& ending = {});

// The settings files: loaded, the marker left where one is missing, the owner told about a file
// that was short or could not be read.
void loadSettingsAtStart(QWidget* parent, SharedState& state, const Ending& ending = {});

// The same for the catalogue files.
void loadAtStart(QWidget* parent, SharedState& state, const Ending& ending = {});

} // namespace CatalogueSaver
