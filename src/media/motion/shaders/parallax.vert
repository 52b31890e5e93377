#version 300 es
// One oversized triangle covering the target, texture origin top-left.
out vec2 uv;
void main()
{
    vec2 position = vec2(gl_VertexID == 1 ? 3.0 : -1.0, gl_VertexID == 2 ? 3.0 : -1.0);
    gl_Position = vec4(position, 0.0, 1.0);
    vec2 t = position * 0.5 + 0.5;
    uv = vec2(t.x, 1.0 - t.y);
}
