#include "SwayPanels.h"

#include "PanelAnchor.h"
#include "SwayIpc.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <unistd.h>

namespace {

QRect rectOf(const QJsonObject &object)
{
    const QJsonObject rect = object.value(QLatin1String("rect")).toObject();
    return QRect(rect.value(QLatin1String("x")).toInt(), rect.value(QLatin1String("y")).toInt(),
        rect.value(QLatin1String("width")).toInt(), rect.value(QLatin1String("height")).toInt());
}

} // namespace

QList<QRect> SwayPanels::query()
{
    const int socket = SwayIpc::open();
    if (socket < 0)
        return {};
    const QByteArray outputs = SwayIpc::request(socket, SwayIpc::getOutputs);
    const QByteArray workspaces
        = outputs.isEmpty() ? QByteArray() : SwayIpc::request(socket, SwayIpc::getWorkspaces);
    ::close(socket);
    return fromReplies(outputs, workspaces);
}

QList<QRect> SwayPanels::fromReplies(const QByteArray &outputs, const QByteArray &workspaces)
{
    QList<QRect> bands;
    const QJsonArray outputList = QJsonDocument::fromJson(outputs).array();
    const QJsonArray workspaceList = QJsonDocument::fromJson(workspaces).array();
    for (const QJsonValue &output : outputList) {
        const QJsonObject outputObject = output.toObject();
        if (!outputObject.value(QLatin1String("active")).toBool(true))
            continue;
        const QString name = outputObject.value(QLatin1String("name")).toString();
        const QRect geometry = rectOf(outputObject);
        for (const QJsonValue &workspace : workspaceList) {
            const QJsonObject workspaceObject = workspace.toObject();
            if (workspaceObject.value(QLatin1String("output")).toString() != name
                || !workspaceObject.value(QLatin1String("visible")).toBool())
                continue;
            // The workspace's rectangle is the output less what its panels reserve.
            bands.append(PanelAnchor::bandsBetween(geometry, rectOf(workspaceObject)));
            break;
        }
    }
    return bands;
}
