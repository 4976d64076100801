// The structural check every .x mesh file passes before the importer library sees it. The library's own
// .x reader trusts the file: stated counts size its arrays, unknown objects and dangling indices reach
// code that dereferences null or reads past the end. So the game accepts only the plain text form it
// ships ("xof 0302txt 0032" / "0303", float size 0032 or 0064), tokenised exactly as that reader
// tokenises it, and only the objects the mesh loader uses:
//   top level: template (skipped), Frame, Mesh, named Material
//   Frame: Frame (named, nested at most MaxXFrameDepth deep), FrameTransformMatrix (once), Mesh
//   Mesh: vertices, faces of 3 or more corners, then at most one each of MeshNormals,
//         MeshTextureCoords, MeshMaterialList
//   MeshMaterialList: Material or a reference {Name} to a top-level Material defined earlier
//   Material: colours, power, at most one TextureFilename "string";
// Every count must match what follows it and fit the file, every face index must address its own
// vertex (or normal) list, every material index its own material list, every number must be finite.
// Anything else, including the binary and compressed forms, is refused.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

constexpr int MaxXFrameDepth = 32;
constexpr unsigned MaxXFaceCorners = 256;
constexpr size_t MaxXNameLength = 255;
constexpr size_t MaxXImportBytes = 64u << 20;

// True when the file may be handed to the importer; otherwise false with a short reason (and the line).
bool CheckXFile(std::span<const uint8_t> bytes, std::string& reason);

// Checks the file and gives the bytes to hand to the importer: the same file with every material
// reference {Name} replaced by a copy of the top-level material it names. The importer resolves a
// reference to the material at the reference's own position in the scene's list rather than the one
// named, which paints faces with the wrong material whenever a mesh lists references in another
// order than the file defines the materials; a copy in place means exactly what the reference means.
bool PrepareXFileForImport(std::span<const uint8_t> bytes, std::vector<uint8_t>& importable,
                           std::string& reason);
