# tests of the controls and the style
