#include <QApplication>
#include <QLabel>

// Placeholder until the main window exists.
int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kelvalog");
    QLabel label("Kelvalog");
    label.show();
    return QApplication::exec();
}
