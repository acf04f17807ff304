// Status codes. 0 is success, negative values are errors; the messages are
// in scene/errors.h.
#pragma once

namespace kx {

enum : int {
    kOk = 0,
    kErrEndOfFile = -1,
    kErrFileNotFound = -2,
    kErrUnrecognizedSymbol = -3,
    kErrIllegalContext = -4,
    kErrRunawayString = -5,
    kErrRotationAxis = -6,
    kErrObjectListOverflow = -7,
    kErrRecursiveObject = -8,
    kErrVertexType = -10,
    kErrVertexIndexRange = -11,
    kErrUnknownObjectLabel = -12,
    kErrDuplicateObjectLabel = -13,
    kErrBadBoolean = -14,
    kErrDisplayMemory = -15,
    kErrDepthMemory = -16,
    kErrBlockInterleaving = -18,
    kErrDisplayType = -19,
    kErrDisplayMode = -20,
    kErrSurfaceType = -21,
    kErrLightListOverflow = -22,
    kErrCurveType = -23,
    kErrPatchType = -24,
    kErrTransformOverflow = -25,
    kErrTransformUnderflow = -26,
    kErrMapListOverflow = -27,
    kErrMapFileNotFound = -28,
    kErrMapFormat = -29,
    kErrMapLabel = -30,
    kErrMapNotFound = -31,
    kErrMapInterpolation = -33,
    kErrMapBorder = -34,
    kErrUnknownEngine = -35,
    kErrIntegerExpected = -36,
    kErrVertexIndexExpected = -37,
    kErrVertexCoordExpected = -38,
    kErrFloatExpected = -39,
    kErrUnknownOption = -40,
    kErrBsplineMismatch = -41,
    kErrObjectParameters = -42,
    kErrInstanceParameter = -43,
    // Codes of this program beyond the format's table.
    kErrNoWindowSystem = -44,  // the screen device found no window system
    kErrOutputFailed = -45,    // an image file could not be written completely
    kErrRegionOutside = -46,   // the command line's region does not fit the image
};

}  // namespace kx
