# Tests of the phone side: device library, simulated phone, host device services.
orx_add_test(devapi_frame_test SOURCES DevApiFrameTest.cpp LIBS orxproto)
orx_add_test(devapi_link_test SOURCES DevApiLinkTest.cpp LIBS ORX_FP_FlashDevApi orxproto)
orx_add_test(phonesim_flash_test SOURCES PhoneSimFlashTest.cpp LIBS phonesim ORX_FP_FlashDevApi)
orx_add_test(phonesim_records_test SOURCES PhoneSimRecordsTest.cpp LIBS phonesim ORX_FP_FlashDevApi shxbuild)
orx_add_test(phonesim_fault_test SOURCES PhoneSimFaultTest.cpp LIBS phonesim ORX_FP_FlashDevApi LABELS threaded)
orx_add_test(host_devices_test SOURCES HostDevicesTest.cpp LIBS ORX ORX_FP_FlashDevApi ${CMAKE_DL_LIBS} LABELS threaded)
orx_add_test(phonesim_profile_test SOURCES PhoneSimProfileTest.cpp LIBS phonesim)
orx_add_test(phonesim_sequence_test SOURCES PhoneSimSequenceTest.cpp LIBS phonesim ORX_FP_FlashDevApi shxbuild)

# The phone side's fuzz corpora replayed through their targets' entry points.
add_executable(fuzz_replay_frame ${PROJECT_SOURCE_DIR}/fuzz/FrameFuzz.cpp ${PROJECT_SOURCE_DIR}/fuzz/ReplayMain.cpp)
target_link_libraries(fuzz_replay_frame PRIVATE devapi_client phonesim)
add_test(NAME fuzz_replay_frame COMMAND fuzz_replay_frame ${PROJECT_SOURCE_DIR}/fuzz/corpus/frame)

add_executable(fuzz_replay_profile ${PROJECT_SOURCE_DIR}/fuzz/ProfileFuzz.cpp ${PROJECT_SOURCE_DIR}/fuzz/ReplayMain.cpp)
target_link_libraries(fuzz_replay_profile PRIVATE phonesim)
add_test(NAME fuzz_replay_profile COMMAND fuzz_replay_profile ${PROJECT_SOURCE_DIR}/fuzz/corpus/profile)
