# Tests of the phone side: the protocol and device library, the host's device
# services, and the simulated phone.
orx_add_tests(devapi_tests
  SOURCES DevApiFrameTest.cpp DevApiLinkTest.cpp
  THREADED HostDevicesTest.cpp
  LIBS ORX ORX_FP_FlashDevApi orxproto ${CMAKE_DL_LIBS})
orx_add_tests(phonesim_tests
  SOURCES
    PhoneSimFlashTest.cpp PhoneSimRecordsTest.cpp PhoneSimProfileTest.cpp
    PhoneSimSequenceTest.cpp
  THREADED PhoneSimFaultTest.cpp
  LIBS phonesim ORX_FP_FlashDevApi shxbuild)
