#pragma once

// The plug-in's logo: a quill whose nib sits at the centre of three field rings. Its drawing
// is about 180 x 46, so that centred on the window's title line it stays above the panels.
static const char* const quillfieldLogoSvg = R"svg(<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="180" height="50" viewBox="0 0 180 50">
  <g fill="none" stroke="#63a8ff" stroke-width="2">
    <ellipse cx="50" cy="32" rx="16" ry="5"/>
    <ellipse cx="50" cy="32" rx="32" ry="10" stroke-opacity="0.7"/>
    <ellipse cx="50" cy="32" rx="48" ry="15" stroke-opacity="0.4"/>
  </g>
  <path d="M50 32 C 68 20, 118 6, 178 2 C 156 14, 134 20, 120 24 C 132 24, 140 22, 148 20
           C 124 32, 90 36, 56 35 Z" fill="#ffffff"/>
  <path d="M50 32 L 118 14" stroke="#222222" stroke-width="1.5"/>
</svg>)svg";
