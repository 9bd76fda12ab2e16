#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// A department name becomes one folder of the shop on the web server and one line of the local
// department file. This is the rule for which names can be both.
namespace DepartmentName {

enum class Problem {
    None,
    Empty,               // nothing typed: not a name at all (the editor ignores it silently)
    DotName,             // exactly "." or "..": the folder itself or its parent on the server
    FolderCharacters,    // "/", "\", "¬" or a control character
    UnstorableCharacters // a character the local files cannot store
};

struct Verdict {
    Problem problem = Problem::None;
    // The offending characters, each once, in the order they first appear, as the owner would
    // recognise them ("/", "line break", "tab", ...).
    QStringList refused;

    bool isAccepted() const { return problem == Problem::None; }
};

// Whether `name` can be a department: one folder on the server and one line in the local file.
// Every name that is not empty and not refused here is accepted exactly as given, blanks included.
Verdict check(QStringView name);

inline bool canBeFolder(QStringView name) {
    return check(name).isAccepted();
}

// True for a character that a department name can never hold, whatever else it holds.
bool isRefusedCharacter(QChar ch);

// The refused characters in words, for messages and help: / \ ¬ and control characters.
QString refusedCharactersText();

// The owner's message for a refused name: what was refused and which characters a department
// name cannot hold. Empty for an accepted name.
QString message(QStringView name, const Verdict& verdict);

} // namespace DepartmentName
