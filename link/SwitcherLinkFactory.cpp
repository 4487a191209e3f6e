#include "SwitcherLinkFactory.h"

#include "LinkSettings.h"
#include "SerialLink.h"
#include "TcpLink.h"
#include "UdpLink.h"

std::unique_ptr<SwitcherLink> SwitcherLinkFactory::create(const LinkSettings &settings)
{
    switch (settings.kind()) {
    case LinkSettings::Kind::Serial:
        return std::make_unique<SerialLink>(settings);
    case LinkSettings::Kind::Network:
        if (settings.usesTcp())
            return std::make_unique<TcpLink>(settings);
        return std::make_unique<UdpLink>(settings);
    case LinkSettings::Kind::Unknown:
        break;
    }
    return nullptr;
}
