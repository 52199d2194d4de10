# The launcher's payload: the kit's installer database, the updater's database and four
# cabinets, carried as resources of the launcher's own module.
#
# A release build takes the payload from a folder given at configure time:
#   cmake --preset win32 -DCDK_PAYLOAD_DIR=/path/to/payload
# The folder holds the files under their own names (see CDK_PAYLOAD_RESOURCES below). Without it the
# build uses the test payload that payload/ generates in the build tree.
#
# cdk_add_payload_resources(<target> [EXCLUDE <file name or resource id>...])
#   Embeds the payload in <target> through a generated resource script. A file missing from the
#   folder, or named under EXCLUDE, is left out (tests build launcher variants without some
#   resource this way). Each call has its own resource script, so several targets of one build
#   can carry different subsets. A changed payload file rebuilds the target; so does a file added
#   to or removed from CDK_PAYLOAD_DIR, which re-runs the configuration first.

include_guard(GLOBAL)

# Resource scripts are compiled by windres; the language must be enabled at file scope in a
# directory that encloses every target using it, which is where this module is included.
enable_language(RC)

set(CDK_PAYLOAD_DIR "" CACHE PATH
    "Folder holding the launcher's payload files; empty for the generated test payload")

# Where payload/ writes the generated test payload, and the target that writes it.
set(CDK_TEST_PAYLOAD_DIR "${CMAKE_BINARY_DIR}/payload/out")
set(CDK_TEST_PAYLOAD_TARGET cdk_test_payload)

# The payload table, read from the one file that states it (PayloadTable.def, which the C++ code
# includes and the Python tools read too), with the product version of BuildVersion.h filled
# into the file names:
#   CDK_PAYLOAD_RESOURCES     "file name|resource type|resource id" per resource, in the order
#                             the launcher writes them
#   CDK_PAYLOAD_FILE_<name>   the file name of the resource of that C++ name (kKitDatabase, ...)
set(_cdk_constants "${CMAKE_CURRENT_LIST_DIR}/../src/windows/common/constants")
set(CDK_PAYLOAD_TABLE "${_cdk_constants}/PayloadTable.def")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             "${CDK_PAYLOAD_TABLE}" "${_cdk_constants}/BuildVersion.h")
file(STRINGS "${_cdk_constants}/BuildVersion.h" _cdk_version REGEX "^#define CDK_PRODUCT_VERSION_TEXT ")
if(NOT _cdk_version MATCHES "\"(([^.\"]+)\\.([^.\"]+)\\.([^_\"]+)(_([^\"]+))?)\"")
    message(FATAL_ERROR "BuildVersion.h: no product version of the form 3.6.0_09")
endif()
set(CDK_PRODUCT_VERSION "${CMAKE_MATCH_1}")
# "{digits}": the major, minor, micro and update parts written together; "00" for no update.
set(_cdk_update "${CMAKE_MATCH_6}")
if(_cdk_update STREQUAL "")
    set(_cdk_update "00")
endif()
set(_cdk_digits "${CMAKE_MATCH_2}${CMAKE_MATCH_3}${CMAKE_MATCH_4}${_cdk_update}")
set(CDK_PAYLOAD_RESOURCES "")
file(STRINGS "${CDK_PAYLOAD_TABLE}" _cdk_rows REGEX "^CDK_PAYLOAD_RESOURCE\\(")
foreach(_cdk_row IN LISTS _cdk_rows)
    if(NOT _cdk_row MATCHES "^CDK_PAYLOAD_RESOURCE\\((k[A-Za-z0-9]+), ([0-9]+), ([A-Z0-9_]+), \"([^\"]+)\"\\)$")
        message(FATAL_ERROR "${CDK_PAYLOAD_TABLE}: cannot read the line ${_cdk_row}")
    endif()
    set(_cdk_name "${CMAKE_MATCH_1}")
    set(_cdk_id "${CMAKE_MATCH_2}")
    set(_cdk_type "${CMAKE_MATCH_3}")
    string(REPLACE "{version}" "${CDK_PRODUCT_VERSION}" _cdk_file "${CMAKE_MATCH_4}")
    string(REPLACE "{digits}" "${_cdk_digits}" _cdk_file "${_cdk_file}")
    list(APPEND CDK_PAYLOAD_RESOURCES "${_cdk_file}|${_cdk_type}|${_cdk_id}")
    set(CDK_PAYLOAD_FILE_${_cdk_name} "${_cdk_file}")
endforeach()

# A path as a string literal of a resource script: backslashes doubled, quotes doubled.
function(_cdk_rc_string out path)
    string(REPLACE "\\" "\\\\" path "${path}")
    string(REPLACE "\"" "\"\"" path "${path}")
    set(${out} "\"${path}\"" PARENT_SCOPE)
endfunction()

function(cdk_add_payload_resources target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "EXCLUDE")
    if(arg_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "cdk_add_payload_resources: unexpected arguments ${arg_UNPARSED_ARGUMENTS}")
    endif()
    if(NOT TARGET ${target})
        message(FATAL_ERROR "cdk_add_payload_resources: no target ${target}")
    endif()

    # Every exclusion must name a payload file or resource id: a misspelt one would otherwise
    # build a launcher that carries what the test meant to leave out.
    set(known "")
    foreach(entry IN LISTS CDK_PAYLOAD_RESOURCES)
        string(REPLACE "|" ";" fields "${entry}")
        list(GET fields 0 name)
        list(GET fields 2 id)
        list(APPEND known ${name} ${id})
    endforeach()
    foreach(excluded IN LISTS arg_EXCLUDE)
        if(NOT excluded IN_LIST known)
            message(FATAL_ERROR "cdk_add_payload_resources(${target}): EXCLUDE ${excluded} is "
                                "neither a payload file nor a resource id")
        endif()
    endforeach()

    if(CDK_PAYLOAD_DIR)
        get_filename_component(dir "${CDK_PAYLOAD_DIR}" ABSOLUTE)
        if(NOT IS_DIRECTORY "${dir}")
            message(FATAL_ERROR "CDK_PAYLOAD_DIR ${dir} is not a folder")
        endif()
        set(generated FALSE)
    else()
        set(dir "${CDK_TEST_PAYLOAD_DIR}")
        set(generated TRUE)
    endif()

    set(script "// Payload of ${target}, generated by cdk_add_payload_resources from ${dir}.\n")
    set(files "")
    set(absent "")
    set(left_out "")
    foreach(entry IN LISTS CDK_PAYLOAD_RESOURCES)
        string(REPLACE "|" ";" fields "${entry}")
        list(GET fields 0 name)
        list(GET fields 1 type)
        list(GET fields 2 id)
        if(name IN_LIST arg_EXCLUDE OR id IN_LIST arg_EXCLUDE)
            string(APPEND left_out "\n  ${name} (${type} ${id})")
        elseif(NOT generated AND NOT EXISTS "${dir}/${name}")
            string(APPEND absent "\n  ${name} (${type} ${id})")
        else()
            _cdk_rc_string(literal "${dir}/${name}")
            string(APPEND script "${id} ${type} ${literal}\n")
            list(APPEND files "${dir}/${name}")
        endif()
    endforeach()
    # One file a line; indented lines are printed as they are.
    if(left_out)
        message(STATUS "${target}: payload left out on request:${left_out}")
    endif()
    if(absent)
        message(WARNING "${target}: payload files absent from ${dir}, left out:${absent}")
    endif()

    # Rewritten only when its text changes, so that a new configuration alone rebuilds nothing.
    set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}_payload.rc")
    file(WRITE "${rc}.new" "${script}")
    file(COPY_FILE "${rc}.new" "${rc}" ONLY_IF_DIFFERENT)
    file(REMOVE "${rc}.new")

    target_sources(${target} PRIVATE "${rc}")
    set_source_files_properties("${rc}" TARGET_DIRECTORY ${target}
                                PROPERTIES OBJECT_DEPENDS "${files}")
    if(generated)
        add_dependencies(${target} ${CDK_TEST_PAYLOAD_TARGET})
    else()
        # A folder's time stamp changes when a file is added to it or removed from it; as a
        # configure dependency it re-runs the configuration, which then sees the new set.
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${dir}")
    endif()
endfunction()
