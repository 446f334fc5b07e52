#version 440
// The night filter of the drawing core (NightFilter::filtered) on the GPU:
// towards the luminance, contrast about mid-grey, times the night red, each
// by `strength`; the texture is premultiplied.
layout(location = 0) in vec2 qt_TexCoord0;
layout(location = 0) out vec4 fragColor;
layout(std140, binding = 0) uniform buf {
    mat4 qt_Matrix;
    float qt_Opacity;
    float strength;
    vec4 nightRed;
};
layout(binding = 1) uniform sampler2D source;

void main()
{
    vec4 pixel = texture(source, qt_TexCoord0);
    if (pixel.a <= 0.0) {
        fragColor = vec4(0.0);
        return;
    }
    vec3 c = min(pixel.rgb / pixel.a, vec3(1.0));
    float luminance = dot(c, vec3(0.2126, 0.7152, 0.0722));
    c = mix(c, vec3(luminance), strength);
    c = clamp((c - 0.5) * (1.0 + 0.3 * strength) + 0.5, 0.0, 1.0);
    c *= mix(vec3(1.0), nightRed.rgb, strength);
    fragColor = vec4(c * pixel.a, pixel.a) * qt_Opacity;
}
