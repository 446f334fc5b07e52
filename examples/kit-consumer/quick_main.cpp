// Shows one session of each status with every component of Idlewyn.Design.
//
//   kit-consumer-quick [--dark] [--night] [--grab file.png] [--check]
//
// --grab saves the window once it is drawn and quits; --check quits once the
// view is loaded, failing if QML reported any warning.
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QImage>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QTimer>

namespace {

int warnings = 0;
QtMessageHandler defaultHandler = nullptr;

void countWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtDebugMsg && type != QtInfoMsg) {
        ++warnings;
    }
    defaultHandler(type, context, message);
}

} // namespace

int main(int argc, char** argv)
{
    defaultHandler = qInstallMessageHandler(countWarnings);
    QGuiApplication application(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption dark(QStringLiteral("dark"), QStringLiteral("Draw in the dark appearance."));
    const QCommandLineOption night(QStringLiteral("night"), QStringLiteral("Switch night mode on."));
    const QCommandLineOption grab(QStringLiteral("grab"), QStringLiteral("Save the window to <file> and quit."),
                                  QStringLiteral("file"));
    const QCommandLineOption check(QStringLiteral("check"), QStringLiteral("Quit once loaded; fail on warnings."));
    parser.addOptions({dark, night, grab, check});
    parser.addHelpOption();
    parser.process(application);

    QQmlApplicationEngine engine;
    engine.setInitialProperties(
        {{QStringLiteral("dark"), parser.isSet(dark)}, {QStringLiteral("night"), parser.isSet(night)}});
    engine.load(QUrl(QStringLiteral("qrc:/kit-consumer/Sessions.qml")));
    if (engine.rootObjects().isEmpty()) {
        return 1;
    }
    auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().constFirst());
    if (parser.isSet(check)) {
        QTimer::singleShot(0, &application, [] { QCoreApplication::exit(warnings == 0 ? 0 : 1); });
    } else if (parser.isSet(grab)) {
        const QString file = parser.value(grab);
        QObject::connect(
            window, &QQuickWindow::frameSwapped, &application,
            [window, file] { QCoreApplication::exit(window->grabWindow().save(file) ? 0 : 1); },
            Qt::SingleShotConnection);
    }
    return application.exec();
}
