#pragma once
// The matrix codes of the deck (mdflags): which matrices an element exchanges with. A
// bounding aquitard below the grid's bottom layer and one above its top layer (semi-infinite),
// and low-permeability material embedded in the element (of finite thickness).
namespace quilmar {

struct MatrixCode {
    bool below = false;     // aquitard below (the element's bottom face)
    bool embedded = false;  // embedded material
    bool above = false;     // aquitard above (the element's top face)
};

// Codes 0 to 7: none; below; embedded; above; above and below; below and embedded; above
// and embedded; all three.
inline constexpr int kMatrixCodeCount = 8;
inline constexpr MatrixCode kMatrixCodes[kMatrixCodeCount] = {
    {false, false, false}, {true, false, false}, {false, true, false}, {false, false, true},
    {true, false, true},   {true, true, false},  {false, true, true},  {true, true, true}};

inline bool valid_matrix_code(int code) { return code >= 0 && code < kMatrixCodeCount; }
// The matrices of a code; none for a code outside 0 to 7.
inline MatrixCode matrix_code(int code) { return valid_matrix_code(code) ? kMatrixCodes[code] : MatrixCode{}; }
// Whether elements of this code exchange with any matrix.
inline bool matrix_diffusion_on(int code) { return valid_matrix_code(code) && code != 0; }

}  // namespace quilmar
