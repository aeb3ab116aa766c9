#include "buildinfo/BuildInfo.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QLabel window(BuildInfo::product + QStringLiteral(" v") + BuildInfo::version());
    window.setWindowTitle(BuildInfo::product);
    window.setAlignment(Qt::AlignCenter);
    window.resize(940, 620);
    window.show();
    return QApplication::exec();
}
