# Installs the build into a fresh prefix and checks that the programs, the
# desktop entry and the icon land where a desktop finds them.
# cmake -DBUILD_DIR=... -DPREFIX=... -P checkinstall.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
set(expected bin/kestrova-viewer bin/kestrova-archive
    share/applications/kestrova-viewer.desktop
    share/icons/hicolor/scalable/apps/kestrova-viewer.svg)
foreach(size 16 22 24 32 48 64 128 256)
    list(APPEND expected share/icons/hicolor/${size}x${size}/apps/kestrova-viewer.png)
endforeach()
foreach(path IN LISTS expected)
    if(NOT EXISTS "${PREFIX}/${path}")
        message(FATAL_ERROR "not installed: ${path}")
    endif()
endforeach()
file(READ "${PREFIX}/share/applications/kestrova-viewer.desktop" entry)
foreach(line "Exec=kestrova-viewer %f" "Name[ru]=" "Icon=kestrova-viewer")
    string(FIND "${entry}" "${line}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "desktop entry lacks ${line}")
    endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
