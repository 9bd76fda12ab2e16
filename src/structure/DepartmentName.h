#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

class StoreCatalogue;

// A department name becomes one folder of the shop on the web server and one line of the local
// department file. This is the rule for which names can be both.
namespace DepartmentName {

enum class Problem {
    None,
    Empty,                // nothing typed: not a name at all (the editor ignores it silently)
    DotName,              // exactly "." or "..": the folder itself or its parent on the server
    FolderCharacters,     // "/", "\", "¬" or a control character
    UnstorableCharacters, // a character the local files cannot store
    TooLong,              // more bytes in UTF-8, as it is sent, than a server folder name takes
    ShopFile,             // the name of a file the shop keeps beside the department folders
    Duplicate             // another department has it already, capitals aside
};

// The most bytes a folder name may take on the servers the shop goes to (as UTF-8).
inline constexpr int maxBytes = 255;

struct Verdict {
    Problem problem = Problem::None;
    // The offending characters, each once, in the order they first appear, as the owner would
    // recognise them ("/", "line break", "tab", ...).
    QStringList refused;
    // TooLong: the bytes the name takes. Duplicate: the other department's name as stored.
    int bytes = 0;
    QString clash;

    bool isAccepted() const { return problem == Problem::None; }
};

// Whether `name` can be a department: one folder on the server and one line in the local file.
// Every name that is not empty and not refused here is accepted exactly as given, blanks included.
Verdict check(QStringView name);

// The whole rule for `name` as the department in `slot` of the catalogue: check(name), and no
// department in an earlier slot of the same name ignoring case (some servers do, and two
// departments would then share one folder). A name about to be added is checked with
// slot = departmentCount, against every department there is.
Verdict check(QStringView name, const StoreCatalogue& catalogue, int slot);

// True for a character that a department name can never hold, whatever else it holds.
bool isRefusedCharacter(QChar ch);

// The refused characters in words, for messages and help: / \ ¬ and control characters.
QString refusedCharactersText();

// The owner's message for a refused name: what was refused and which characters a department
// name cannot hold. Empty for an accepted name.
QString message(QStringView name, const Verdict& verdict);

// Why the server cannot take the name, as one clause for a line of a report ("it holds "/"").
QString reason(const Verdict& verdict);

} // namespace DepartmentName
