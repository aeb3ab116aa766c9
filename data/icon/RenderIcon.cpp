// Renders the application's SVG icon as a square PNG for the desktop's icon
// theme, the same way the application draws it for its own windows.
// Usage: paperlark_render_icon SVG SIZE PNG
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc != 4) {
        std::fputs("usage: paperlark_render_icon SVG SIZE PNG\n", stderr);
        return 2;
    }
    bool sizeOk = false;
    const int size = QString::fromLocal8Bit(argv[2]).toInt(&sizeOk);
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!sizeOk || size <= 0 || !renderer.isValid()) {
        std::fprintf(stderr, "paperlark_render_icon: cannot render %s at %s px\n", argv[1],
                     argv[2]);
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, size, size));
    }
    if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "paperlark_render_icon: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
