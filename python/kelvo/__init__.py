"""The kelvo video-enhancement library on numpy frames.

    with kelvo.Engine() as engine:
        engine.set_effects(["denoise", "color", "beauty"])
        engine.set_parameter("beauty_effect_option", {"smoothness": 0.8})
        engine.process(frame, "I420")   # in place

docs/python.md has the formats, errors and threading rules.
"""
from ._kelvo import Engine, Error, ParameterError, settings, version

__all__ = ["Engine", "Error", "ParameterError", "settings", "version"]
