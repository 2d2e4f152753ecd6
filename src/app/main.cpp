#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("moriva"));
    app.setQuitOnLastWindowClosed(false);
    return app.exec();
}
