// Which view a connection draws in: OpenGL only where hardware does it,
// unless the user says otherwise.
#include "gui/renderer_preference.h"

#include <gtest/gtest.h>

using namespace orvix;

TEST(RendererPreference, SoftwareRasterizersAreKnownByTheirRendererString) {
    for (const char* software : {"llvmpipe (LLVM 15.0.6, 256 bits)", "Gallium 0.4 on softpipe", "Software Rasterizer (swrast)",
                                 "LLVMPIPE"}) {
        EXPECT_TRUE(isSoftwareRasterizer(software)) << software;
    }
    for (const char* hardware : {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", "NVIDIA GeForce GTX 1060/PCIe/SSE2",
                                 "AMD Radeon RX 580 (radeonsi, polaris10, LLVM 15.0.6, DRM 3.49)", ""}) {
        EXPECT_FALSE(isSoftwareRasterizer(hardware)) << hardware;
    }
}

TEST(RendererPreference, AutoTakesOpenGlOnlyWhereHardwareDoesItAndTheUserDecidesOtherwise) {
    const char* hardware = "Mesa Intel(R) UHD Graphics 620";
    const char* software = "llvmpipe (LLVM 15.0.6, 256 bits)";
    EXPECT_TRUE(useOpenGl(RendererPreference::Auto, true, hardware));
    EXPECT_FALSE(useOpenGl(RendererPreference::Auto, true, software));
    EXPECT_FALSE(useOpenGl(RendererPreference::Auto, false, hardware));
    EXPECT_TRUE(useOpenGl(RendererPreference::OpenGl, true, software));
    EXPECT_FALSE(useOpenGl(RendererPreference::OpenGl, false, software));
    EXPECT_FALSE(useOpenGl(RendererPreference::Software, true, hardware));

    EXPECT_EQ(parseRendererPreference("auto"), RendererPreference::Auto);
    EXPECT_EQ(parseRendererPreference("software"), RendererPreference::Software);
    EXPECT_EQ(parseRendererPreference("opengl"), RendererPreference::OpenGl);
    EXPECT_EQ(parseRendererPreference("OpenGL"), std::nullopt);
    EXPECT_EQ(parseRendererPreference(""), std::nullopt);
}
