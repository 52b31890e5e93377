# Every third-party dependency is found here once; layers link the imported
# targets. Third-party headers come in as SYSTEM so our warnings stay ours.
find_package(PkgConfig REQUIRED)
find_package(nlohmann_json 3.11 REQUIRED)
find_package(Threads REQUIRED)
find_package(CURL REQUIRED)

pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET
  libavformat libavcodec libswscale libswresample libavutil)
pkg_check_modules(TAGLIB REQUIRED IMPORTED_TARGET taglib)
pkg_check_modules(POCKETSPHINX REQUIRED IMPORTED_TARGET pocketsphinx sphinxbase)
# Debian's sphinxbase.pc names /usr/include/sphinxbase, which the package does not
# ship (its headers are under the multiarch folder); CMake refuses missing paths.
get_target_property(_vl_ps_includes PkgConfig::POCKETSPHINX INTERFACE_INCLUDE_DIRECTORIES)
list(FILTER _vl_ps_includes EXCLUDE REGEX "^/usr/include/sphinxbase$")
set_target_properties(PkgConfig::POCKETSPHINX PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${_vl_ps_includes}")
pkg_check_modules(EGL REQUIRED IMPORTED_TARGET egl glesv2)
# The clipboard's size is asked of the X server before its text is fetched.
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb)
pkg_check_modules(HTTPLIB IMPORTED_TARGET cpp-httplib)

# OpenCV: only the modules we use (highgui would drag in Qt 5).
find_package(OpenCV 4 REQUIRED COMPONENTS core imgproc imgcodecs saliency)
add_library(vl_opencv INTERFACE)
target_include_directories(vl_opencv SYSTEM INTERFACE ${OpenCV_INCLUDE_DIRS})
target_link_libraries(vl_opencv INTERFACE opencv_core opencv_imgproc opencv_imgcodecs opencv_saliency)

find_package(Qt6 6.4 REQUIRED COMPONENTS
  Core Gui Qml Quick QuickControls2 Svg Multimedia QuickTest Test WebEngineQuick Concurrent DBus Network)
find_package(Qt6Keychain REQUIRED)
qt_standard_project_setup()
# QML modules build into folders named after their URIs (qml/Verseloom/App, …), where
# Qt's tooling looks for them; the programs load them from resources either way.
set(QT_QML_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/qml)

if(VL_BUILD_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()
if(VL_BUILD_BENCH)
  find_package(benchmark QUIET)
endif()
