// The baseline of the start-up measurement: a bare Qt window titled like the program's, so
// that the ratio shows what logging in, the skin and the web panes add.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Zorvi"));
    window.resize(800, 480);
    window.show();
    return app.exec();
}
