# Warnings on for every target of ours; errors in CI.
function(kavren_setup_target target)
	target_compile_options(${target} PRIVATE -Wall -Wextra)
	if(KAVREN_WERROR)
		target_compile_options(${target} PRIVATE -Werror)
	endif()
endfunction()

# Every test runs in a sandbox of its own (scripts/lib/test-sandbox.sh) so that tests run side by side: its own HOME
# and, where network namespaces can be made (root), its own loopback for the fixed camera and relay addresses the
# tests bind. Without namespaces the tests share one lock and run one at a time.
if(NOT DEFINED KAVREN_TEST_NETNS)
	execute_process(COMMAND unshare --net true RESULT_VARIABLE kavren_unshare_result OUTPUT_QUIET ERROR_QUIET)
	if(kavren_unshare_result EQUAL 0)
		set(kavren_netns_default ON)
	else()
		set(kavren_netns_default OFF)
	endif()
endif()
option(KAVREN_TEST_NETNS "Run each test in a network namespace of its own (needs root)" ${kavren_netns_default})
set(KAVREN_TEST_SANDBOX ${PROJECT_SOURCE_DIR}/scripts/lib/test-sandbox.sh)
if(KAVREN_TEST_NETNS)
	list(APPEND KAVREN_TEST_SANDBOX --netns)
endif()

# The properties a test run through KAVREN_TEST_SANDBOX needs: the shared lock when it cannot have its own loopback.
function(kavren_sandbox_test name)
	if(NOT KAVREN_TEST_NETNS)
		set_property(TEST ${name} APPEND PROPERTY RESOURCE_LOCK loopback)
	endif()
endfunction()

# One Qt Test executable per subsystem: kavren_add_test(tst_name SOURCES ... LIBS ... [LABELS ...] [XVFB])
function(kavren_add_test name)
	cmake_parse_arguments(T "XVFB" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
	add_executable(${name} ${T_SOURCES})
	kavren_setup_target(${name})
	target_link_libraries(${name} PRIVATE ${T_LIBS} Qt::Test)
	target_compile_definitions(${name} PRIVATE KAVREN_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
		KAVREN_BINARY_DIR="${PROJECT_BINARY_DIR}")
	if(T_XVFB)
		add_test(NAME ${name} COMMAND ${KAVREN_TEST_SANDBOX} --xvfb $<TARGET_FILE:${name}>)
	else()
		add_test(NAME ${name} COMMAND ${KAVREN_TEST_SANDBOX} $<TARGET_FILE:${name}>)
	endif()
	kavren_sandbox_test(${name})
	if(NOT T_TIMEOUT)
		set(T_TIMEOUT 300)
	endif()
	set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
		LABELS "${T_LABELS}")
endfunction()

# One static library per layer: kavren_add_layer(target FOLDERS folder... [PUBLIC lib...] [PRIVATE lib...]).
# A layer's code includes its headers as "folder/Name.h", and it sees only its own folders and those of the layers
# it links publicly, through a view of the tree in the build folder that holds just those folders. An include that
# reaches into a layer it does not link (control/ into ui/, say) then fails to compile.
function(kavren_add_layer target)
	cmake_parse_arguments(L "" "" "FOLDERS;PUBLIC;PRIVATE" ${ARGN})
	add_library(${target} STATIC)
	kavren_setup_target(${target})
	set(view ${PROJECT_BINARY_DIR}/layers/${target})
	file(MAKE_DIRECTORY ${view})
	foreach(folder ${L_FOLDERS})
		if(NOT EXISTS ${view}/${folder})
			file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${view}/${folder} SYMBOLIC)
		endif()
	endforeach()
	target_include_directories(${target} PUBLIC ${view})
	target_link_libraries(${target} PUBLIC ${L_PUBLIC} PRIVATE ${L_PRIVATE})
endfunction()
