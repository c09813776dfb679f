#include "app/messages.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <tuple>

namespace {

// The disk's thread says things too.
std::mutex lock;
bool up = false;
QElapsedTimer uptime;
// What the toolkit says while the program starts, kept until it is known
// whether the start failed: then one line of ours says it all.
QList<std::tuple<QtMsgType, QString, QString>> startup;
QHash<QString, qint64> lastShown; // by category and text: milliseconds on the clock

void show(QtMsgType type, const QString& category, const QString& shown)
{
    // A message may quote a file's name or contents: nothing in them may
    // steer the terminal. Lines of our own stay lines.
    QStringList lines = shown.split(QLatin1Char('\n'));
    for (QString& line : lines)
        line = messages::printable(line);
    const QString text = lines.join(QLatin1Char('\n'));
    const QString key = category + QLatin1Char('\n') + text;
    const qint64 now = uptime.elapsed();
    const auto last = lastShown.constFind(key);
    if (last != lastShown.constEnd() && now - *last < 1000)
        return;
    if (lastShown.size() > 10000)
        lastShown.clear();
    lastShown.insert(key, now);
    const QByteArray name = category.toLatin1();
    const QMessageLogContext context(nullptr, 0, nullptr, name.constData());
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
    std::fflush(stderr);
}

void handle(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    const QString category = QString::fromLatin1(context.category ? context.category : "default");
    const std::lock_guard<std::mutex> hold(lock);
    if (!up && type == QtFatalMsg) {
        const QByteArray display = qgetenv("DISPLAY");
        const QString which = display.isEmpty() ? QStringLiteral("(DISPLAY is not set)") : QString::fromLocal8Bit(display);
        messages::fail(qPrintable(QStringLiteral("cannot open the display %1; start the game on a desktop, or "
                                                 "under a virtual one: xvfb-run carrowmere").arg(which)));
    }
    if (!up) {
        startup.append({type, category, text});
        return;
    }
    show(type, category, text);
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

namespace messages {

void install()
{
    uptime.start();
    qInstallMessageHandler(handle);
}

QString printable(const QString& text)
{
    QString shown;
    for (const uint code : text.toUcs4()) { // whole characters, not halves of a pair
        const auto character = char32_t(code);
        shown += QChar::isPrint(character) ? QString::fromUcs4(&character, 1) : QStringLiteral("?");
    }
    return shown;
}

void started()
{
    const std::lock_guard<std::mutex> hold(lock);
    up = true;
    for (const auto& [type, category, text] : std::as_const(startup))
        show(type, category, text);
    startup.clear();
}

void fail(const char* what)
{
    std::fprintf(stderr, "carrowmere: %s\n", qPrintable(printable(QString::fromLocal8Bit(what))));
    std::fflush(stderr);
    std::_Exit(1);
}

} // namespace messages
