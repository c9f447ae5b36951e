#pragma once

// The per-user folders (PC settings, the production folder and the record in it) of a
// temporary home for the rest of the test program: a device command keeps its parameter
// history there, and no test run touches the user's own, nor depends on it.
#include <QTemporaryDir>
#include <QtGlobal>

namespace dtu::test {

inline bool usePrivateHome() {
    static QTemporaryDir home;
    static const bool set = [] {
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
        return true;
    }();
    return set;
}

}  // namespace dtu::test
