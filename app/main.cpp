#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel placeholder("Tallyforge: the window is on its way.");
    placeholder.show();
    return app.exec();
}
