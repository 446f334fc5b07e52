#pragma once

// The property shared by the launch agent and the systemd unit: whatever the
// characters of the paths, the definition this application writes names its
// relay script when read back (or the writer refuses the paths).

#include "fuzz_support.h"

#include "supervisor/relay_paths.h"

namespace vesperline::fuzz {

// The input split at its only NUL into the interpreter and the relay script;
// absent for any other input, since no file system path holds a NUL.
inline std::optional<RelayPaths> relayPathsFrom(const QByteArray& bytes)
{
    const qsizetype split = bytes.indexOf('\0');
    if (split < 0 || bytes.indexOf('\0', split + 1) >= 0) {
        return std::nullopt;
    }
    RelayPaths paths = RelayPaths::forHome(QStringLiteral("/home/fuzz"), QString::fromUtf8(bytes.left(split)));
    paths.relayScript = QString::fromUtf8(bytes.mid(split + 1));
    paths.logFile = paths.relayScript + QStringLiteral(".log");
    return paths;
}

template <class Manager>
void requireWrittenDefinitionNamesTheScript(const QByteArray& bytes, const char* property)
{
    // Any file at all: no crash, no leak.
    (void)Manager(RelayPaths::forHome(QStringLiteral("/home/fuzz"), QStringLiteral("/usr/bin/python3")))
        .relayScriptIn(bytes);
    const std::optional<RelayPaths> paths = relayPathsFrom(bytes);
    if (!paths) {
        return;
    }
    const Manager manager(*paths);
    QByteArray written;
    try {
        written = manager.definitionText();
    } catch (const idlewyn::Error&) {
        return; // refusing to write a path is sound
    }
    require(manager.relayScriptIn(written) == paths->relayScript, property, QString::fromUtf8(written));
}

} // namespace vesperline::fuzz
