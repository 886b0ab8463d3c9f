# Precompiled headers: the Qt, standard and GoogleTest headers nearly every file includes are
# parsed once per build instead of once per file. Two sets, each built by a target of its own
# and reused by every target compiled with the same flags: one for the program's libraries,
# one for the tests (they build at another optimisation level). A target must reuse the set made
# with its own optimisation flags: GCC 12 does not check them, and crashes on a mismatch.
#
# clang-tidy never sees them (tests/lint/tidy_check.py drops the flag), so a file that forgets
# an include still fails there.

option(KLOSIA_PRECOMPILED_HEADERS "Precompile the common Qt, standard and test headers" ON)

set(klosia_pch_headers
    <algorithm> <array> <atomic> <chrono> <cstdint> <functional> <map> <memory> <mutex>
    <optional> <string> <string_view> <unordered_map> <utility> <vector>
    <QApplication> <QByteArray> <QCoreApplication> <QDir> <QFile> <QFileInfo> <QHash> <QIcon>
    <QJsonDocument> <QJsonObject> <QKeyEvent> <QObject> <QPainter> <QPointer> <QString>
    <QStringList> <QTimer> <QUrl> <QWidget>)
set(klosia_test_pch_headers ${klosia_pch_headers} <gtest/gtest.h> <QProcess> <QTemporaryDir>
    <QJsonArray> <QScreen> <thread>)

# Makes `name`, the target that builds one set of precompiled headers, in the calling directory
# (so that it compiles with that directory's options). GCC takes a precompiled header only where
# every macro it was made with is defined the same way, so the owner is made with the macros all
# its users share: those of LIBS (Qt Core's QT_NO_DEBUG, GoogleTest's GTEST_HAS_PTHREAD), and only
# the include directories of HEADER_LIBS, whose QT_WIDGETS_LIB and the like not every user has.
function(klosia_pch_owner name)
  cmake_parse_arguments(ARG "" "" "HEADERS;LIBS;HEADER_LIBS" ${ARGN})
  if(NOT KLOSIA_PRECOMPILED_HEADERS)
    return()
  endif()
  add_library(${name} OBJECT ${PROJECT_SOURCE_DIR}/cmake/pch_owner.cpp)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  foreach(lib IN LISTS ARG_HEADER_LIBS)
    target_include_directories(${name} SYSTEM PRIVATE
                               $<TARGET_PROPERTY:${lib},INTERFACE_INCLUDE_DIRECTORIES>)
  endforeach()
  target_precompile_headers(${name} PRIVATE ${ARG_HEADERS})
endfunction()

# Every target in `dir` and below that links a library matching `users` reuses `owner`'s
# headers.
function(klosia_reuse_pch dir owner users)
  if(NOT KLOSIA_PRECOMPILED_HEADERS)
    return()
  endif()
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    get_target_property(libraries ${target} LINK_LIBRARIES)
    if(target STREQUAL owner OR NOT type MATCHES "^(STATIC_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$"
       OR NOT libraries MATCHES "${users}")
      continue()
    endif()
    target_precompile_headers(${target} REUSE_FROM ${owner})
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    klosia_reuse_pch(${subdir} ${owner} "${users}")
  endforeach()
endfunction()
