// The baseline for the whole-program figures: the least a Qt 6 Widgets program with a window
// does. One frameless window holding one label, and the event loop.
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window(nullptr, Qt::FramelessWindowHint);
    window.setWindowTitle(QStringLiteral("velunor-bench-minimal"));
    window.resize(300, 112);
    QLabel label(QStringLiteral("12:34:56"), &window);
    label.setGeometry(0, 0, 300, 112);
    label.setAlignment(Qt::AlignCenter);
    window.show();
    return QApplication::exec();
}
