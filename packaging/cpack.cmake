# The Debian package: `cpack -G DEB` in the build folder, or the `package`
# target. It holds what `cmake --install` installs, under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessera)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tessera developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "picture converter for a 4096-colour retro computer")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tessera turns ordinary pictures (bmp, png, jpg, gif) into the BMP1 and BMP4
bitmap files of a small retro computer with 4096 colours: it places and
resamples the picture, adjusts its tone, picks the best 16 colours and maps
every pixel onto them, with ordered or error-diffusion dithering.

The package holds three programs: Tessera, the converter window with a live
preview; tessera-convert, the same converter on the command line; and
tessview, a viewer that shows BMP1 and BMP4 files as the machine would.")
set(CPACK_PACKAGE_CONTACT "${TESSERA_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TESSERA_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The libraries come from dpkg-shlibdeps; the window's layout and logo are
# drawn in DejaVu Sans, which nothing of Qt pulls in.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
# Folders as Debian expects them, whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
