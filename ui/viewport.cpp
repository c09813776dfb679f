#include "ui/viewport.h"

#include <QDebug>
#include <QLoggingCategory>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>

#include <optional>
#include <utility>

Q_LOGGING_CATEGORY(viewportLog, "carrowmere.viewport")

namespace {

struct Choice {
    bool openGL;
    QString reason;
};

// The renderer's name, or nothing when no context can be made current.
std::optional<QString> openGLRenderer()
{
    QOpenGLContext context;
    if (!context.create())
        return std::nullopt;
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!context.makeCurrent(&surface))
        return std::nullopt;
    const auto* renderer = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
    const QString name = QString::fromLatin1(renderer ? renderer : "unknown");
    context.doneCurrent();
    return name;
}

Choice choose()
{
    const QByteArray forced = qgetenv("CARROWMERE_VIEWPORT").toLower();
    if (forced == "raster")
        return {false, QStringLiteral("forced by CARROWMERE_VIEWPORT")};
    if (!forced.isEmpty() && forced != "opengl")
        qWarning().noquote() << QStringLiteral("CARROWMERE_VIEWPORT=%1 is not a viewport: use opengl or raster; "
                                               "choosing by itself")
                                    .arg(QString::fromLocal8Bit(forced));
    // Asked once a run: making a context costs tens of milliseconds.
    static const std::optional<QString> renderer = openGLRenderer();
    if (forced == "opengl") {
        if (renderer)
            return {true, QStringLiteral("forced by CARROWMERE_VIEWPORT")};
        qWarning("CARROWMERE_VIEWPORT=opengl, but no OpenGL context can be made here: drawing with raster instead");
        return {false, QStringLiteral("no OpenGL context can be made")};
    }
    if (!renderer)
        return {false, QStringLiteral("no OpenGL context can be made")};
    static const char* const software[] = {"llvmpipe", "softpipe", "swrast", "software", "gdi generic"};
    for (const char* marker : software)
        if (renderer->contains(QLatin1String(marker), Qt::CaseInsensitive))
            return {false, QStringLiteral("the OpenGL renderer \"%1\" draws in software").arg(*renderer)};
    return {true, QStringLiteral("renderer \"%1\"").arg(*renderer)};
}

} // namespace

QWidget* makeViewport(QWidget* parent)
{
    const Choice choice = choose();
    static bool told = false;
    if (!std::exchange(told, true))
        qCDebug(viewportLog).noquote() << QStringLiteral("%1 viewport: %2")
                                              .arg(choice.openGL ? QStringLiteral("OpenGL") : QStringLiteral("raster"),
                                                   choice.reason);
    if (choice.openGL)
        return new QOpenGLWidget(parent);
    return new QWidget(parent);
}
