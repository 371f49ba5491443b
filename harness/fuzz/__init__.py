"""Random structured-exception programs, a model that predicts what they do,
and the loop that runs them on a platform and compares."""
