# Collects the .cpp files directly inside each given folder (not below it), so that a new
# source file joins its library without editing a list in another folder.
function(velkora_collect_sources out_var)
    set(result)
    foreach(dir IN LISTS ARGN)
        file(GLOB found CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/${dir}/*.cpp")
        list(APPEND result ${found})
    endforeach()
    list(SORT result)
    set(${out_var} ${result} PARENT_SCOPE)
endfunction()
