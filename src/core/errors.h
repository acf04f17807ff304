// Status codes and their messages. 0 is success, negative values are
// errors; the report of a failed run (scene/report.h) prints the message.
#pragma once

#include <string>

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
    kErrNoWindowSystem = -44,     // the screen device found no window system
    kErrOutputFailed = -45,       // an image file could not be written completely
    kErrRegionOutside = -46,      // the command line's region does not fit the image
    kErrSubdivisionCage = -47,    // a Subdivision cage that cannot be refined
    kErrSubdivisionSize = -48,    // a Subdivision refined past kMaxSubdivisionFaces
    kErrSubdivisionModule = -49,  // kxrender-subdivide.so could not be loaded
};

// The message of a code, or null for codes without one.
constexpr const char* ErrorMessage(int code) {
    switch (code) {
        case kErrEndOfFile: return "Unexepected end of file";
        case kErrFileNotFound: return "File not found.";
        case kErrUnrecognizedSymbol: return "Unrecognized symbol";
        case kErrIllegalContext: return "Known symbol in illegal context";
        case kErrRunawayString: return "Runaway string";
        case kErrRotationAxis: return "Unrecognized rotation axis";
        case kErrObjectListOverflow: return "Object list overflow\nIncrease OBJECT_LIST_MAX_SIZE in kx_parse";
        case kErrRecursiveObject: return "Recursive object definition not allowed";
        case kErrVertexType: return "Unknown vertex type combination";
        case kErrVertexIndexRange: return "Vertex index out of range";
        case kErrUnknownObjectLabel: return "Unknown object label on ObjectInstance";
        case kErrDuplicateObjectLabel: return "Duplicate object label";
        case kErrDisplayMemory: return "Insufficient memory for display buffer";
        case kErrDepthMemory: return "Insufficient memory for depth buffer";
        case kErrBlockInterleaving: return "Illegal block interleaving";
        case kErrDisplayType: return "Unknown display type";
        case kErrDisplayMode: return "Unknown display mode";
        case kErrSurfaceType: return "Unknown surface material type";
        case kErrLightListOverflow: return "Light list overflow";
        case kErrCurveType: return "Unknown curve type";
        case kErrPatchType: return "Unknown patch type";
        case kErrTransformOverflow: return "Transform stack overflow";
        case kErrTransformUnderflow: return "Transform stack underflow";
        case kErrMapListOverflow: return "Map list overflow";
        case kErrMapFileNotFound: return "Map file not found";
        case kErrMapFormat: return "Map file in unrecognized format";
        case kErrMapLabel: return "Map label already in use or reserved";
        case kErrMapNotFound: return "Map not found";
        case kErrMapInterpolation: return "Illegal map interpolation type";
        case kErrMapBorder: return "Illegal map border type";
        case kErrUnknownEngine: return "Unknown rendering engine";
        case kErrIntegerExpected: return "Integer expected";
        case kErrVertexIndexExpected: return "Vertex index expected";
        case kErrVertexCoordExpected: return "Vertex coordinate expected";
        case kErrFloatExpected: return "Floating point value expected";
        case kErrUnknownOption: return "Unknown option";
        case kErrBsplineMismatch: return "Mismatch of B-spline degree, #control points, #knots";
        case kErrObjectParameters: return "Illegal number of parameters in object block";
        case kErrInstanceParameter: return "Illegal object instance parameter";
        case kErrNoWindowSystem: return "Cannot open a window: no window system available";
        case kErrOutputFailed: return "Cannot write the image file";
        case kErrRegionOutside: return "The region lies outside the image";
        case kErrSubdivisionCage:
            return "Unusable subdivision cage: a degenerate face, a non-manifold edge or vertex, or a crease along no "
                   "edge";
        case kErrSubdivisionSize: return "Subdivision surface too large: lower the SubdivisionLevel option";
        case kErrSubdivisionModule: return "Subdivision surfaces need kxrender-subdivide.so";
        case 2: return "Display not initialized";
        default: return nullptr;
    }
}

// "Error in <file> on line <line>: <message>" and a line end, the file name
// written with PrintableName; a code without a message is named by number.
std::string FormatError(int code, const std::string& fileName, long long line);

}  // namespace kx
