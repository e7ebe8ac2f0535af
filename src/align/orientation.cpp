#include "orientation.h"

namespace tavrin::align {

const Orientation *orientations()
{
    static const Orientation list[OrientationCount] = {
        {0, "None", 0, 0, 0},
        {1, "Yaw45", 0, 0, 45},
        {2, "Yaw90", 0, 0, 90},
        {3, "Yaw135", 0, 0, 135},
        {4, "Yaw180", 0, 0, 180},
        {5, "Yaw225", 0, 0, 225},
        {6, "Yaw270", 0, 0, 270},
        {7, "Yaw315", 0, 0, 315},
        {8, "Roll180", 180, 0, 0},
        {9, "Roll180Yaw45", 180, 0, 45},
        {10, "Roll180Yaw90", 180, 0, 90},
        {11, "Roll180Yaw135", 180, 0, 135},
        {12, "Pitch180", 0, 180, 0},
        {13, "Roll180Yaw225", 180, 0, 225},
        {14, "Roll180Yaw270", 180, 0, 270},
        {15, "Roll180Yaw315", 180, 0, 315},
        {16, "Roll90", 90, 0, 0},
        {17, "Roll90Yaw45", 90, 0, 45},
        {18, "Roll90Yaw90", 90, 0, 90},
        {19, "Roll90Yaw135", 90, 0, 135},
        {20, "Roll270", 270, 0, 0},
        {21, "Roll270Yaw45", 270, 0, 45},
        {22, "Roll270Yaw90", 270, 0, 90},
        {23, "Roll270Yaw135", 270, 0, 135},
        {24, "Pitch90", 0, 90, 0},
        {25, "Pitch270", 0, 270, 0},
        {26, "Pitch180Yaw90", 0, 180, 90},
        {27, "Pitch180Yaw270", 0, 180, 270},
        {28, "Roll90Pitch90", 90, 90, 0},
        {29, "Roll180Pitch90", 180, 90, 0},
        {30, "Roll270Pitch90", 270, 90, 0},
        {31, "Roll90Pitch180", 90, 180, 0},
        {32, "Roll270Pitch180", 270, 180, 0},
        {33, "Roll90Pitch270", 90, 270, 0},
        {34, "Roll180Pitch270", 180, 270, 0},
        {35, "Roll270Pitch270", 270, 270, 0},
        {36, "Roll90Pitch180Yaw90", 90, 180, 90},
        {37, "Roll90Yaw270", 90, 0, 270},
    };
    return list;
}

std::optional<int> orientationNumber(const Mat3 &r)
{
    if (determinant(r) < 0)
        return std::nullopt;
    for (int k = 0; k < OrientationCount; k++) {
        const Mat3 listed = orientations()[k].matrix();
        if (rotationDegrees(times(transposed(listed), r)) <= OrientationMatchDegrees)
            return k;
    }
    return std::nullopt;
}

} // namespace tavrin::align
