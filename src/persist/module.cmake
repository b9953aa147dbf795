# Codec libraries of the picture formats (included inside tallisyn_module, so
# ${target} and ${kind} are the persist library's).
find_package(PkgConfig REQUIRED)
find_package(PNG REQUIRED)
find_package(JPEG REQUIRED)
find_package(GIF REQUIRED)
find_package(ZLIB REQUIRED)
pkg_check_modules(IMAGEQUANT REQUIRED IMPORTED_TARGET imagequant)
target_link_libraries(${target} ${kind} PNG::PNG JPEG::JPEG GIF::GIF ZLIB::ZLIB
                      PkgConfig::IMAGEQUANT)
