#pragma once

#include "SwitcherLink.h"

#include <memory>

struct LinkSettings;

// Knows every kind of link, so that the links themselves need not know each
// other: the one place that picks serial, TCP or UDP from the settings.
class SwitcherLinkFactory
{
public:
    // The link the settings name. Returns nullptr for a link type that is
    // neither "serial" nor "network".
    static std::unique_ptr<SwitcherLink> create(const LinkSettings &settings);
};
