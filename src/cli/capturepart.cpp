// tavrin-cli's capture part, a module of its own (parts.h).
#include "capturerun.h"
#include "parts.h"

extern "C" Q_DECL_EXPORT const tavrin::CapturePart *tavrinCapturePart()
{
    static const tavrin::CapturePart part{tavrin::captureToRecording};
    return &part;
}
