#version 440
// Night look: each pixel's luminance, contrast raised by 30 %, tinted red.
layout(location = 0) in vec2 qt_TexCoord0;
layout(location = 0) out vec4 fragColor;
layout(std140, binding = 0) uniform buf {
    mat4 qt_Matrix;
    float qt_Opacity;
};
layout(binding = 1) uniform sampler2D source;

void main()
{
    vec4 c = texture(source, qt_TexCoord0);
    // Premultiplied: contrast pivots around half of the pixel's own alpha.
    float l = dot(c.rgb, vec3(0.2126, 0.7152, 0.0722));
    l = clamp((l - 0.5 * c.a) * 1.3 + 0.5 * c.a, 0.0, c.a);
    fragColor = vec4(l * vec3(1.0, 0.28, 0.22), c.a) * qt_Opacity;
}
