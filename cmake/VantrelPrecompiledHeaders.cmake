# Qt's headers are most of what every one of our files compiles, and most
# suites are a single file: so a few precompiled headers are built once per
# build folder and every target of ours reuses one. Reuse needs the same
# compiler flags, which vantrel_defaults gives every target; a header the
# compiler finds unfit for a target is read as plain text instead, never
# wrongly. Configure with -DCMAKE_DISABLE_PRECOMPILE_HEADERS=ON to build
# without them (to check that every file includes what it uses).
#
# A target reuses the header made for the Qt modules it links. Qt Test's
# headers are left out: they read QT_TESTCASE_SOURCEDIR, which differs from
# folder to folder, so no suite could reuse a header that holds them.

set(vantrel_pch_Core
    <QtCore/QByteArray> <QtCore/QCoreApplication> <QtCore/QDir> <QtCore/QElapsedTimer>
    <QtCore/QFile> <QtCore/QFileInfo> <QtCore/QHash> <QtCore/QIODevice> <QtCore/QList>
    <QtCore/QObject> <QtCore/QPointer> <QtCore/QProcess> <QtCore/QString> <QtCore/QStringList>
    <QtCore/QTemporaryDir> <QtCore/QTimer> <QtCore/QVariant>
    <algorithm> <functional> <memory> <optional> <string> <vector>)
set(vantrel_pch_Widgets
    <QtGui/QIcon> <QtGui/QKeyEvent> <QtGui/QPixmap> <QtWidgets/QApplication>
    <QtWidgets/QComboBox> <QtWidgets/QDialog> <QtWidgets/QLabel> <QtWidgets/QLineEdit>
    <QtWidgets/QListWidget> <QtWidgets/QMessageBox> <QtWidgets/QPushButton>
    <QtWidgets/QWidget>)
set(vantrel_pch_Network <QtNetwork/QHostAddress> <QtNetwork/QTcpServer>
    <QtNetwork/QTcpSocket> <QtNetwork/QUdpSocket>)
set(vantrel_pch_modules Widgets Network)

# The modules of vantrel_pch_modules the target reaches through what it links.
function(vantrel_qt_modules target result)
    set(pending ${target})
    set(seen)
    set(found)
    while(pending)
        list(POP_FRONT pending current)
        if(current IN_LIST seen OR NOT TARGET ${current})
            continue()
        endif()
        list(APPEND seen ${current})
        foreach(module IN LISTS vantrel_pch_modules)
            if(current STREQUAL "Qt6::${module}")
                list(APPEND found ${module})
            endif()
        endforeach()
        get_target_property(imported ${current} IMPORTED)
        if(imported)
            continue()
        endif()
        get_target_property(direct ${current} LINK_LIBRARIES)
        get_target_property(interface ${current} INTERFACE_LINK_LIBRARIES)
        foreach(item IN LISTS direct interface)
            string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" item "${item}")
            if(item AND NOT item MATCHES "^\\$<" AND NOT item MATCHES "-NOTFOUND$")
                list(APPEND pending ${item})
            endif()
        endforeach()
    endwhile()
    list(REMOVE_DUPLICATES found)
    list(SORT found)
    set(${result} ${found} PARENT_SCOPE)
endfunction()

# The headers are made from an empty file, with the flags every target of
# ours has.
set(vantrel_pch_source ${CMAKE_BINARY_DIR}/vantrel_pch.cpp)
file(GENERATE OUTPUT ${vantrel_pch_source} CONTENT "// Makes a shared precompiled header.\n")

# Called once every target exists (at the end of the top-level
# CMakeLists.txt), since what a target links decides which header it reuses.
function(vantrel_reuse_precompiled_headers)
    get_property(targets GLOBAL PROPERTY VANTREL_TARGETS)
    set(made)
    foreach(target IN LISTS targets)
        vantrel_qt_modules(${target} modules)
        set(key Core)
        if(Widgets IN_LIST modules)
            set(key Core_Widgets)
        elseif(Network IN_LIST modules)
            set(key Core_Network)
        endif()
        if(NOT key IN_LIST made)
            list(APPEND made ${key})
            string(REPLACE "_" ";" modules ${key})
            set(headers)
            set(libraries)
            foreach(module IN LISTS modules)
                list(APPEND headers ${vantrel_pch_${module}})
                list(APPEND libraries Qt6::${module})
            endforeach()
            add_library(vantrel_pch_${key} OBJECT ${vantrel_pch_source})
            target_precompile_headers(vantrel_pch_${key} PRIVATE ${headers})
            target_link_libraries(vantrel_pch_${key} PRIVATE vantrel_defaults ${libraries})
            set_target_properties(vantrel_pch_${key} PROPERTIES AUTOMOC OFF)
        endif()
        target_precompile_headers(${target} REUSE_FROM vantrel_pch_${key})
    endforeach()
endfunction()
