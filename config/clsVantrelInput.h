#pragma once

#include "CompactString.h"

class QIODevice;
class clsVantrelParser;

// One source of an output, with the command that routes it. The command is
// kept exactly as entered; escapes are decoded only when it is sent.
class clsVantrelInput
{
public:
    void Initialize();
    void Serialize(QIODevice *aChannel) const;
    void Deserialize(clsVantrelParser &Parser);

    CompactString fInputName;
    CompactString fCommand;
};
