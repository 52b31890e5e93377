# Shared build helpers. Every layer is one static library; its folder's CMakeLists.txt
# lists each of its files, so what is built is what the list says.

set(VL_WARNINGS -Wall -Wextra -Wpedantic -Wshadow=local -Wnon-virtual-dtor)

# vl_add_library(<target> SOURCES <files, from this folder...> [LINK <targets...>])
function(vl_add_library target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
  add_library(${target} STATIC ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_compile_options(${target} PRIVATE ${VL_WARNINGS})
  target_link_libraries(${target} PUBLIC ${ARG_LINK})
endfunction()

# vl_add_test(<folder under tests> SOURCES <files, from that folder...> [LINK <targets...>]
#             [ENV <VAR=value...>])
# One GoogleTest executable per test folder.
function(vl_add_test folder)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK;ENV" ${ARGN})
  set(sources ${ARG_SOURCES})
  list(TRANSFORM sources PREPEND ${CMAKE_SOURCE_DIR}/tests/${folder}/)
  string(REPLACE "/" "_" name "test_${folder}")
  add_executable(${name} ${sources})
  target_compile_options(${name} PRIVATE ${VL_WARNINGS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src)
  target_compile_definitions(${name} PRIVATE
    VL_FIXTURES_DIR="${CMAKE_SOURCE_DIR}/tests/fixtures"
    VL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  target_link_libraries(${name} PRIVATE ${ARG_LINK} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "${ARG_ENV}" TIMEOUT 600)
endfunction()

# vl_add_qml_module(<target> URI <uri> SOURCES <.cpp/.h...> QML_FILES <.qml...> [LINK <targets...>]
#                   [IMPORTS <QML module targets...>] [QT <Qt modules beyond Gui, Qml, Quick...>])
# One static QML module from the current folder and its subfolders, the files given by
# their path from this folder (a program's main.cpp is not the module's). A QML file in a
# subfolder keeps its type name and sits at qrc:/<URI as a path>/<subfolder>/. Files that
# need QML properties (singleton, internal type) get them, by the same path, before this call.
# Static so tests can import it: consumers link <target> and <target>plugin, and IMPORTS
# does that for the modules this one uses. Files sit at qrc:/<URI as a path>/, where the
# programs load Main.qml and tests import with `-import qrc:/`.
function(vl_add_qml_module target)
  cmake_parse_arguments(ARG "" "URI" "SOURCES;QML_FILES;LINK;IMPORTS;QT" ${ARGN})
  set(sources ${ARG_SOURCES})
  list(TRANSFORM sources PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)

  # Our C++ types derive from Qt Quick's, carry Qt's value types (QColor, …) and the types
  # of the modules we import; the tools resolve those only through declared dependencies,
  # so the imported modules are defined first.
  set(dependencies QtQuick)
  foreach(module IN LISTS ARG_IMPORTS)
    get_target_property(module_uri ${module} QT_QML_MODULE_URI)
    list(APPEND dependencies ${module_uri})
  endforeach()

  qt_add_library(${target} STATIC)
  qt_add_qml_module(${target}
    URI ${ARG_URI}
    VERSION 1.0
    RESOURCE_PREFIX /
    DEPENDENCIES ${dependencies}
    QML_FILES ${ARG_QML_FILES}
    SOURCES ${sources})

  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  # Qt's generated type registration includes each header by its bare name.
  set(header_folders ${sources})
  list(FILTER header_folders INCLUDE REGEX "\\.h$")
  list(TRANSFORM header_folders REPLACE "/[^/]*$" "")
  list(REMOVE_DUPLICATES header_folders)
  target_include_directories(${target} PRIVATE ${header_folders})
  # Our warnings for our sources only; the QML compiler's generated C++ is not ours to fix.
  set_source_files_properties(${sources} PROPERTIES COMPILE_OPTIONS "${VL_WARNINGS}")
  set(imports)
  foreach(module IN LISTS ARG_IMPORTS)
    list(APPEND imports ${module} ${module}plugin)
  endforeach()
  list(TRANSFORM ARG_QT PREPEND Qt6::)
  target_link_libraries(${target} PUBLIC ${ARG_LINK} ${imports} Qt6::Gui Qt6::Qml Qt6::Quick ${ARG_QT})
  set_property(GLOBAL APPEND PROPERTY VL_QML_MODULES ${target})
endfunction()

# vl_add_qmllint_tests()
# One test per QML module made by vl_add_qml_module: qmllint over its QML files with the
# build's QML folder, failing on any warning (unqualified names, unknown types, …).
function(vl_add_qmllint_tests)
  get_property(modules GLOBAL PROPERTY VL_QML_MODULES)
  foreach(module IN LISTS modules)
    get_target_property(dir ${module} SOURCE_DIR)
    set(files "$<TARGET_PROPERTY:${module},QT_QML_LINT_FILES>")
    set(resources "$<TARGET_PROPERTY:${module},_qt_generated_qrc_files>")
    add_test(NAME qmllint_${module}
      COMMAND Qt6::qmllint -I ${QT_QML_OUTPUT_DIRECTORY}
              --resource "$<JOIN:${resources},;--resource;>" ${files}
      COMMAND_EXPAND_LISTS
      WORKING_DIRECTORY ${dir})
  endforeach()
endfunction()
