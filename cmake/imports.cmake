# The engine and the three plug-in libraries as the product sees them: one target each,
# imports::<library>, holding an import library made from the project's own .def file. The
# executable so binds to them by name only, whichever builds of them sit beside it, and a name
# missing from a .def fails the link instead of resolving from some other library.

if(MSVC)
  set(VESKARO_IMPORT_TOOL ${CMAKE_AR})
else()
  find_program(VESKARO_IMPORT_TOOL NAMES x86_64-w64-mingw32-dlltool dlltool REQUIRED)
endif()

# The plug-ins, named once for the link, the stand-ins and the package.
set(VESKARO_PLUGIN_LIBRARIES screen_retriever_windows_plugin system_tray_plugin
                             window_manager_plugin)
set(VESKARO_IMPORTED_LIBRARIES flutter_windows ${VESKARO_PLUGIN_LIBRARIES})
set(imports_dir ${CMAKE_BINARY_DIR}/imports)
foreach(library ${VESKARO_IMPORTED_LIBRARIES})
  set(def ${PROJECT_SOURCE_DIR}/app/imports/${library}.def)
  if(MSVC)
    set(import ${imports_dir}/${library}.lib)
    set(make_import ${VESKARO_IMPORT_TOOL} /nologo /machine:x64 /def:${def} /out:${import})
  else()
    set(import ${imports_dir}/lib${library}.dll.a)
    set(make_import ${VESKARO_IMPORT_TOOL} -m i386:x86-64 -d ${def} -D ${library}.dll -l ${import})
  endif()
  add_custom_command(
    OUTPUT ${import}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${imports_dir}
    COMMAND ${make_import}
    DEPENDS ${def}
    COMMENT "Import library for ${library}.dll"
    VERBATIM)
  add_custom_target(${library}_import DEPENDS ${import})
  add_library(imports::${library} INTERFACE IMPORTED GLOBAL)
  set_target_properties(imports::${library} PROPERTIES INTERFACE_LINK_LIBRARIES ${import})
  # Targets linking the import library wait for it to exist.
  add_dependencies(imports::${library} ${library}_import)
endforeach()
