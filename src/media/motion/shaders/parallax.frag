#version 300 es
// Zoom about the centre, shift the start by the steady plane, then march the depth
// layers along the parallax vector and refine between the last two samples.
// textureLod, not texture: the march branches per pixel, where implicit derivatives
// are undefined, and there are no mipmaps to choose from anyway.
//
// On a software rasteriser the march is nearly all of a frame's cost, and most of
// it is spent far from the subject, where no layer can stop it. The reach map says,
// per cell of the depth map, the nearest depth any sample of the next reachChunk steps
// from there can read (its mask maximum, widened by those steps' length). When even
// the chunk's last layer stays in front of that, none of its steps can end the march,
// so they are taken in one stride without sampling. The march ends where it would
// have ended step by step, with the same samples from there on.
precision highp float;
precision highp int;
layout(std140) uniform PUniforms {
    vec2 offset;
    float height;
    float steady;
    float zoom;
    vec2 center;
    int steps;
};
uniform sampler2D frameImage;
uniform sampler2D depthMap;
uniform sampler2D reachMap;
in vec2 uv;
out vec4 colour;

// Filled in when the program loads this source: the reach map it builds has the same cells.
const int reachCell = REACH_CELL;
const int reachChunk = REACH_CHUNK;
// Room for the depth map's storage rounding: a stride never trusts the last hair.
const float reachMargin = 1.0 / 256.0;

float depthAt(vec2 p) { return 1.0 - textureLod(depthMap, p, 0.0).r; }

// Nearest depth any sample within one chunk of steps from p can read.
float reachAt(vec2 p)
{
    ivec2 size = textureSize(depthMap, 0);
    ivec2 texel = clamp(ivec2(clamp(p, 0.0, 1.0) * vec2(size)), ivec2(0), size - 1);
    return 1.0 - texelFetch(reachMap, texel / reachCell, 0).r;
}

void main()
{
    vec2 start = center + (uv - center) / max(zoom, 0.001);
    vec2 shift = offset * height;
    start += shift * steady;

    int layers = max(steps, 8);
    float layerStep = 1.0 / float(layers);
    vec2 dUV = shift / float(layers);

    // Step k samples c = start - k dUV and stops when k layerStep >= its depth d.
    int k = 0;
    float layer = 0.0;
    vec2 c = start;
    float d = 1.0;
    bool stopped = false;
    while (k < layers && !stopped) {
        int chunkEnd = min(k + reachChunk, layers);
        if (float(chunkEnd - 1) * layerStep < reachAt(c) - reachMargin) {
            k = chunkEnd;
            c = start - float(k) * dUV;
            layer = float(k) * layerStep;
            continue;
        }
        for (; k < chunkEnd; ++k) {
            d = depthAt(c);
            if (layer >= d) {
                stopped = true;
                break;
            }
            c -= dUV;
            layer += layerStep;
        }
    }
    if (!stopped)
        d = depthAt(c); // all layers marched: the last point's depth

    vec2 previous = c + dUV;
    float after = d - layer;
    float before = depthAt(previous) - (layer - layerStep);
    float w = after / (after - before + 0.00001);
    vec2 point = c + (previous - c) * clamp(w, 0.0, 1.0);
    colour = vec4(textureLod(frameImage, point, 0.0).rgb, 1.0);
}
