# `make package`: one Debian package holding everything `cmake --install`
# installs, versioned like the project. Runtime libraries are found by
# dpkg-shlibdeps; what the application starts or loads as a plugin is named.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME paperlark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Brannock")
set(CPACK_PACKAGE_CONTACT "Brannock <brannock@paperlark.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://paperlark.example")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "scan paper into PDF and image files")
# Lines wrapped as Debian wants them (under 80 characters).
set(CPACK_PACKAGE_DESCRIPTION
    "Paperlark finds the scanners SANE can reach (USB, network, eSCL/AirScan),
scans from the flatbed or the document feeder, keeps an ordered page list
that can be rearranged, rotated and pruned, and saves the pages as one PDF
document or as one JPEG or PNG file per page, or sends them by e-mail.
JPEG, PNG, TIFF and BMP files can be added as pages. Existing files are
never overwritten.")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# curl delivers SMTP mail, xdg-email hands drafts to the mail client, Qt
# reads TIFF through its image-format plugins, and Tesseract's orientation
# data tells which way up a page's text reads. The PDF reader's libraries
# (poppler's Qt 6 binding, OpenJPEG, jbig2dec, libqpdf) are linked, so
# dpkg-shlibdeps names them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "curl, xdg-utils, qt6-image-formats-plugins, tesseract-ocr-osd")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "tesseract-ocr-eng")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
