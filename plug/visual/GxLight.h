#pragma once
// Light descriptions of the Graphic engine: the root GxLight (colour, intensity, specular and
// shadow settings, a flag word with four light groups), GxLightNotAmbient, the point light, the
// ball light (radii and attenuation), the projector (a view volume with its side planes) and the
// spot light (cone angles with their cosines). Nothing here renders: the values are held,
// reflected and archived. Every setter keeps the lit colour equal to colour x intensity, and every
// older chunk version is read and converted.
#include "core/math/GmColor.h"
#include "core/math/GmFrustum.h"
#include "core/nod/MwNod.h"

class GxLight : public CMwNod {
    MW_DECLARE_CLASS(GxLight, CMwNod, 0x04001000)
public:
    // Bits of the flag word.
    static constexpr u32 s_DoLightingBit = 1u << 0;
    static constexpr u32 s_LightMapOnlyBit = 1u << 1;
    static constexpr u32 s_IsShadowGenBit = 1u << 2;
    static constexpr u32 s_DoSpecularBit = 1u << 3;
    static constexpr u32 s_HasLensFlareBit = 1u << 4;
    static constexpr u32 s_HasSpriteBit = 1u << 5;
    static constexpr u32 s_GroupShift = 6;
    static constexpr u32 s_GroupBits = 0xFu << s_GroupShift;

    GxLight();

    // The kind answer of the class: 0 for the root and GxLightNotAmbient, 2 point, 3 ball,
    // 4 projector, 5 spot.
    virtual u32 GetLightKind() { return 0; }
    // Intensity 1, white, no shadow generation; everything else is kept.
    virtual void ResetDefaults();

    void SetColor(const GmColorRgb& color);
    // Stored as given; above 1.0 a warning is logged.
    void SetIntensity(f32 intensity);
    // Stores the shadow colour and derives its hue and lightness.
    void SetShadowColor(const GmColorRgb& color);
    bool IsInversed() const { return m_Intensity < 0.0f; }

    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    f32 m_FlareIntensity = 1.0f;
    f32 m_SpecularPower = 1.0f;
    f32 m_SpecularIntensity = 1.0f;
    u32 m_Flags = s_DoLightingBit | s_IsShadowGenBit | s_DoSpecularBit | (1u << s_GroupShift);
    GmColorRgb m_Color{1.0f, 1.0f, 1.0f};
    f32 m_Intensity = 1.0f;
    GmColorRgb m_LitColor{1.0f, 1.0f, 1.0f};
    f32 m_ShadowIntensity = 1.0f;
    GmColorRgb m_ShadowRGB{1.0f, 1.0f, 1.0f};
    f32 m_ShadowHue = 0.0f;
    f32 m_ShadowLightness = 0.0f;

protected:
    void UpdateLitColor();
    // The lit colour, then the warning when the intensity just read is above 1.0.
    void AfterColorRead();
};

class GxLightNotAmbient : public GxLight {
    MW_DECLARE_CLASS(GxLightNotAmbient, GxLight, 0x04006000)
};

class GxLightPoint : public GxLightNotAmbient {
    MW_DECLARE_CLASS(GxLightPoint, GxLightNotAmbient, 0x04003000)
public:
    u32 GetLightKind() override { return 2; }
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    f32 m_FlareSize = 5.0f;
    f32 m_FlareBiasZ = 0.0f;
};

class GxLightBall : public GxLightPoint {
    MW_DECLARE_CLASS(GxLightBall, GxLightPoint, 0x04002000)
public:
    // Bits of the custom word: the radii that do not follow Radius, and the attenuation law.
    static constexpr u32 s_CustomRadiusSpecularBit = 1u << 0;
    static constexpr u32 s_CustomRadiusShadowBit = 1u << 1;
    static constexpr u32 s_CustomRadiusFlareBit = 1u << 2;

    GxLightBall();

    u32 GetLightKind() override { return 3; }
    // Then Radius 2, RadiusSpecular 2, Attenuation1 10 and Attenuation2 0, without UpdateRadii.
    void ResetDefaults() override;

    // The attenuation 1 / (1 + Attenuation2 d^2) equals `fraction` at d = radius / 2; a
    // coefficient that is not a finite positive number is stored as 0.
    void SetRadiusAttenuation(f32 radius, f32 fraction, f32 specularFactor);
    // The radii without their custom bit follow Radius (the flare radius as 4 x Radius).
    void UpdateRadii();

    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;
    void OnAfterLoad() override;

    u32 m_CustomFlags = 0;
    f32 m_Radius = 0.0f;
    f32 m_RadiusSpecular = 0.0f;
    f32 m_RadiusShadow = 0.0f;
    f32 m_RadiusFlare = 0.0f;
    f32 m_Attenuation1 = 0.0f;
    f32 m_Attenuation2 = 0.0f;
    f32 m_EmittingRadius = 0.0f;
    GmColorRgb m_AmbientRGB;
};

class GxLightFrustrum : public GxLightBall {
    MW_DECLARE_CLASS(GxLightFrustrum, GxLightBall, 0x0400A000)
public:
    GxLightFrustrum();

    u32 GetLightKind() override { return 4; }
    // The side planes of a perspective volume; an orthographic one keeps the planes it had.
    void UpdateSidePlanes();

    // Member reads of the volume.
    bool IsOrtho() const { return m_Frustum.ortho == GmFrustum::kOrtho; }
    f32 GetNearZ() const;
    f32 GetFarZ() const;
    f32 GetFovY() const;
    // Width over height of the six floats taken as a box; 0 for a zero height.
    f32 GetRatioXY() const;

    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;
    void OnAfterLoad() override;

    u32 m_ProjectorFlags = 1u << 4;
    f32 m_RatioFadeZ = 0.5f;
    GmFrustum m_Frustum;
    GmFrustum m_SidePlanesX;
    GmFrustum m_SidePlanesY;

private:
    void ArchiveVolume(CClassicArchive& archive);
    void ArchiveCornerBox(CClassicArchive& archive);
};

class GxLightSpot : public GxLightBall {
    MW_DECLARE_CLASS(GxLightSpot, GxLightBall, 0x0400B000)
public:
    static constexpr u32 s_CustomAngleFlareBit = 1u << 0;
    static constexpr u32 s_CustomAngleShadowBit = 1u << 1;

    GxLightSpot();

    u32 GetLightKind() override { return 5; }
    // The angles without their custom bit follow the cone; then the five cosines of the half
    // angles.
    void UpdateAngles();

    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;
    void OnAfterLoad() override;

    u32 m_SpotFlags = 0;
    f32 m_AngleInner = 30.0f;
    f32 m_AngleOuter = 45.0f;
    f32 m_AngleFlare = 60.0f;
    f32 m_AngleInnerShadow = 0.0f;
    f32 m_AngleOuterShadow = 0.0f;
    f32 m_FalloffExp = 1.0f;
    // cos(angle x pi / 360) of the five angles, in the order above.
    f32 m_Cosines[5] = {};
};
