// The figure's colours, told apart also by people with colour blindness.
#ifndef TAVRIN_PLOT_PALETTE_H
#define TAVRIN_PLOT_PALETTE_H

#include <QColor>

namespace tavrin {

namespace Palette {
inline const QColor raw{0xE6, 0x9F, 0x00};
inline const QColor calibrated{0x00, 0x72, 0xB2};
inline const QColor emptyCap{0xD5, 0x5E, 0x00};
inline const QColor hitCell{0x9E, 0xC9, 0xE2};
inline const QColor emptyCell{0xF6, 0xE3, 0xC2};
inline const QColor ink{0x20, 0x20, 0x20};
inline const QColor grid{0xDD, 0xDD, 0xDD};
inline const QColor rejected{0xCC, 0x79, 0xA7};
inline const QColor plane{0x00, 0x9E, 0x73};
} // namespace Palette

} // namespace tavrin

#endif
