// The host's methods as a game client's bus sees them must be those of the
// interface description the SDK ships: same interfaces, same methods, the
// same arguments in the same order with the same names and types.

#include <QFile>
#include <QXmlStreamReader>

#include <map>
#include <string>
#include <vector>

#include "bus_host_fixture.h"

namespace kx::test {
namespace {

// interface -> method -> "direction name:type" of each argument, in order.
using Methods = std::map<std::string, std::vector<std::string>>;
using Interfaces = std::map<std::string, Methods>;

Interfaces ParseInterfaces(const QByteArray& xml) {
    Interfaces interfaces;
    QXmlStreamReader reader(xml);
    std::string interface;
    std::string method;
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement()) continue;
        const auto attribute = [&](const char* name) {
            return reader.attributes().value(QLatin1String(name)).toString().toStdString();
        };
        const auto element = reader.name();
        if (element == QLatin1String("interface")) {
            interface = attribute("name");
            // The bus's own interfaces are not part of the contract.
            if (interface.starts_with("org.freedesktop.DBus.")) interface.clear();
            else interfaces[interface];
        } else if (element == QLatin1String("method") && !interface.empty()) {
            method = attribute("name");
            interfaces[interface][method];
        } else if (element == QLatin1String("arg") && !interface.empty()) {
            const std::string direction = attribute("direction");
            interfaces[interface][method].push_back((direction.empty() ? "in" : direction) + " " +
                                                    attribute("name") + ":" + attribute("type"));
        }
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    return interfaces;
}

Interfaces Introspect(BusClient& client, const std::string& path) {
    BusReply reply = client.Call(path, "org.freedesktop.DBus.Introspectable", "Introspect");
    const char* xml = nullptr;
    if (reply.result < 0 || sd_bus_message_read(reply.message.get(), "s", &xml) < 0) {
        ADD_FAILURE() << "no introspection of " << path << ": " << reply.error;
        return {};
    }
    return ParseInterfaces(QByteArray(xml));
}

TEST_F(BusHostTest, TheHostServesExactlyTheShippedInterfaceDescription) {
    QFile file(QStringLiteral(KX_SDK_INTERFACE_XML));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const Interfaces shipped = ParseInterfaces(file.readAll());
    ASSERT_EQ(shipped.size(), 3u);

    BusClient client;
    Interfaces served = Introspect(client, "/com/kestrix/Console");
    const std::string object = client.CreateInstance();
    ASSERT_FALSE(object.empty());
    for (auto& [name, methods] : Introspect(client, object)) served[name] = methods;

    EXPECT_EQ(served, shipped);
}

}  // namespace
}  // namespace kx::test
