# The text layer draws and outlines glyphs with FreeType and finds faces
# (and their substitutes) through fontconfig.
find_package(PkgConfig REQUIRED)
pkg_check_modules(TALLISYN_FT REQUIRED IMPORTED_TARGET freetype2 fontconfig)
target_link_libraries(${target} ${kind} PkgConfig::TALLISYN_FT)
