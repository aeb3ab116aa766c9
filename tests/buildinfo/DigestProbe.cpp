// Prints BuildInfo::executableSHA256() after doing to its own file what an
// upgrade does while the program runs: "delete" removes it, "replace" puts
// another file in its place. Prints "none" when there is no digest.
#include "buildinfo/BuildInfo.h"

#include <QByteArray>
#include <QFile>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    const QString self = QFile::decodeName(argv[1]);
    if (std::strcmp(argv[2], "delete") == 0) {
        if (!QFile::remove(self)) {
            return 3;
        }
    } else if (std::strcmp(argv[2], "replace") == 0) {
        const QString next = self + QStringLiteral(".next");
        QFile file(next);
        if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\n") != 10) {
            return 3;
        }
        file.close();
        if (std::rename(QFile::encodeName(next).constData(), argv[1]) != 0) {
            return 3;
        }
    }
    const auto digest = BuildInfo::executableSHA256();
    std::printf("%s\n", digest ? digest->toLatin1().constData() : "none");
    return 0;
}
